#pragma once

#include <string>

// The launcher's texts, in the Windows-1250 code page (the Czech ANSI code page), byte for byte.

// Caption of every message box.
extern const char* const kErrorCaption;

// No start-up parameters could be read.
std::string NoParametersMessage();
// No Java runtime could be started.
std::string NoJavaMessage();
// The installed Java is older than RequiredJavaVersion; the launch goes on.
std::string OldJavaMessage();
// A failure during detection or start, followed by the failure's own text.
std::string LaunchFailureMessage(const std::string& failureText);

// Stage texts for LogMessage.
extern const char* const kReadingParametersStage;
extern const char* const kDetectingJavaStage;
extern const char* const kProbingJavaStage;
extern const char* const kCheckingVersionStage;
extern const char* const kStartingStage;  // followed by the parameters text
extern const char* const kAppPathStage;   // followed by the application directory
extern const char* const kJavaKeyStage;
extern const char* const kValueExistsStage;
extern const char* const kReadingValueStage;
extern const char* const kVersionNumberStage;  // followed by the version number
