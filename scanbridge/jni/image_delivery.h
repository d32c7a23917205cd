#pragma once

#include <cstddef>

#include <jni.h>

#include "bmp_packaging.h"

// Copies the BMP file for the DIB into array, which holds layout.fileSize
// bytes: the file header, then the DIB straight from its own memory. Answers
// false when Java refused the bytes (the exception is already cleared).
bool FillBmpArray(void* dib, const BmpLayout& layout, JNIEnv* env, jbyteArray array);

// The image hook: hands the DIB, held in the size bytes at dib, to
// fireNewImage of the current scan as the bytes of a BMP file. A DIB that
// cannot be packaged within those bytes is skipped, and a page that Java
// cannot take is lost; the scan goes on either way.
void DeliverImage(void* dib, std::size_t size);

// The image hook of an engine whose pages arrive as the size bytes of a
// finished BMP file: hands them to fireNewImage of the current scan. A page
// that Java cannot take is lost; the scan goes on.
void DeliverBmpFile(const void* bmp, std::size_t size);
