// JNI entry points of com.tessivar.bms.can.kvaser.Velmora. The build compares these declarations
// with what `javac -h` generates from the Java class, so the two cannot drift apart.
#ifndef VELMORA_NATIVE_ENTRY_POINTS_H
#define VELMORA_NATIVE_ENTRY_POINTS_H

#include <jni.h>

#ifdef __cplusplus
extern "C" {
#endif

JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1init(JNIEnv*, jobject, jint,
                                                                           jint);

JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1send(JNIEnv*, jobject, jint,
                                                                           jint, jboolean,
                                                                           jbyteArray);

JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1read(JNIEnv*, jobject, jint,
                                                                           jbyteArray);

JNIEXPORT void JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1close(JNIEnv*, jobject, jint);

#ifdef __cplusplus
}
#endif

#endif
