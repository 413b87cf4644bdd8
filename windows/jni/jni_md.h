// The machine-dependent part of JNI for Windows builds with mingw-w64. The JDK here is a Linux one;
// its jni.h is the same on every platform and takes this file in through #include "jni_md.h", so
// the Windows builds put this folder on the include path in place of the JDK's linux/ folder.
#ifndef VELMORA_WINDOWS_JNI_MD_H
#define VELMORA_WINDOWS_JNI_MD_H

#ifndef _WIN32
#error "windows/jni/jni_md.h is for Windows builds; Linux builds use the JDK's own jni_md.h"
#endif

// Empty on purpose: the exports come from a .def file. A dllexport here would add a second name
// (without the leading underscore) for each entry point to the 32-bit export table.
#define JNIEXPORT
#define JNIIMPORT
// The Java VM on Windows calls native methods with stdcall (on x86_64 there is only one
// convention and the keyword changes nothing).
#define JNICALL __stdcall

// Windows is LLP64: long is 32 bits on both architectures.
typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
