#include "java_context.h"

JavaContext& CurrentJavaContext() {
    static JavaContext context;
    return context;
}
