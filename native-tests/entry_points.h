// The four native methods of the Velmora class, resolved at run time from the built VelmoraJava
// library by the names the Java VM looks up. Resolving them this way, rather than linking, also
// proves the export names. One loader per platform: entry_points_linux.cpp (dlopen/dlsym) and
// entry_points_windows.cpp (LoadLibrary/GetProcAddress, stdcall-decorated names on 32-bit).
#ifndef VELMORA_NATIVE_TESTS_ENTRY_POINTS_H
#define VELMORA_NATIVE_TESTS_ENTRY_POINTS_H

#include <jni.h>

#include <string>

struct EntryPoints {
  jboolean(JNICALL* init)(JNIEnv* env, jobject object, jint channel, jint bitrate);
  jboolean(JNICALL* send)(JNIEnv* env, jobject object, jint handle, jint id, jboolean extended,
                          jbyteArray data);
  jboolean(JNICALL* read)(JNIEnv* env, jobject object, jint handle, jbyteArray rx_pdu);
  void(JNICALL* close)(JNIEnv* env, jobject object, jint handle);
};

// Loads the library once per process and fills `out`. On failure returns false and says in
// `error` what could not be loaded or found.
bool loadEntryPoints(EntryPoints* out, std::string* error);

#endif
