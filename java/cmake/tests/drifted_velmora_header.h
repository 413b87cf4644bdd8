/* A Velmora entry-point header that has drifted from the Java class: _read takes a jlong handle
 * and _close is missing. The header check must reject it. */
#include <jni.h>

JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1init(JNIEnv* env,
                                                                           jobject object,
                                                                           jint channel,
                                                                           jint bitrate);
JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1send(JNIEnv*, jobject, jint,
                                                                           jint, jboolean,
                                                                           jbyteArray);
JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1read(JNIEnv*, jobject, jlong,
                                                                           jbyteArray);
