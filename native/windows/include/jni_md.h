/* The machine-dependent JNI types for 64-bit Windows, for cross-building with a JDK that ships
   only its own platform's jni_md.h. On Windows long is 32 bits, so jint is long (as the Windows
   JDK declares it), and only __declspec(dllexport) makes a function leave the DLL: with it, the
   linker exports exactly the JNI functions and nothing else. __stdcall is no-op on x64. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#ifndef _WIN32
#error "this jni_md.h is for Windows builds only"
#endif

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif /* !_JAVASOFT_JNI_MD_H_ */
