// A stand-in Java VM for native tests: enough of the JNI function table for the bridge's
// exports to run without a JVM. Objects live in a table owned by the VM; exceptions are
// recorded, not thrown; any VM call can be made to fail the way the real one does (null
// result, exception pending); and JNI misuse that -Xcheck:jni would report is recorded.
#ifndef FAKE_JNI_H
#define FAKE_JNI_H

#include <jni.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fakejni {

struct Object;

// What the bridge built as a DeviceInfo, argument by argument.
struct DeviceInfoArgs {
    jint flags;
    jint type;
    jint id;
    jint locationId;
    std::string serialNumber;  // the bytes the String was built from
    std::string description;
    jlong handle;
};

class FakeVm {
public:
    FakeVm();
    ~FakeVm();
    FakeVm(const FakeVm&) = delete;
    FakeVm& operator=(const FakeVm&) = delete;

    JNIEnv* env() { return &env_; }

    // Objects a Java caller would pass in; each is a live local reference.
    jstring newString(const std::u16string& chars);
    jbyteArray newByteArray(const std::vector<jbyte>& bytes);
    std::vector<jbyte> bytesOf(jbyteArray array) const;
    jintArray newIntArray(const std::vector<jint>& ints);
    std::vector<jint> intsOf(jintArray array) const;

    // Reading back what the bridge returned.
    std::vector<jobject> elementsOf(jobjectArray array) const;
    DeviceInfoArgs deviceInfoOf(jobject info) const;
    bool isDeviceInfoArray(jobjectArray array) const;

    bool exceptionPending() const { return !exceptionClass_.empty(); }
    const std::string& exceptionClass() const { return exceptionClass_; }
    const std::string& exceptionMessage() const { return exceptionMessage_; }
    void clearException();

    // Makes the nth call from now (1 = the next) of a JNI function fail as the VM's would.
    void failCall(const std::string& function, int nth = 1);
    // Makes every new array longer than this fail with OutOfMemoryError, as a small heap does.
    void limitArrayLength(jsize maxLength) { arrayLimit_ = maxLength; }
    int callCount(const std::string& function) const;

    // Local references created by the VM and not yet deleted.
    size_t liveLocalRefs() const { return liveRefs_.size(); }
    // Every misuse seen: a call with an exception pending, a deleted or foreign reference.
    const std::vector<std::string>& misuses() const { return misuses_; }

    // Used by the function table; not for tests.
    static FakeVm& of(JNIEnv* env);
    bool enter(const char* function, bool allowedWithException = false);
    bool shouldFail(const char* function);
    bool exceedsHeap(jsize arrayLength) const { return arrayLength > arrayLimit_; }
    void raise(const std::string& className, const std::string& message);
    Object* deref(jobject ref, const char* function);
    jobject track(std::unique_ptr<Object> object);
    void release(jobject ref);

private:
    JNINativeInterface_ table_;
    JNIEnv env_;
    std::vector<std::unique_ptr<Object>> objects_;
    std::set<Object*> liveRefs_;
    std::map<std::string, int> calls_;
    std::map<std::string, int> failures_;  // function -> call number that fails
    jsize arrayLimit_ = INT32_MAX;
    std::vector<std::string> misuses_;
    std::string exceptionClass_;
    std::string exceptionMessage_;
};

// Modified UTF-8, as GetStringUTFRegion produces it: one to three bytes per UTF-16 unit.
std::string toModifiedUtf8(const std::u16string& chars);

}  // namespace fakejni

#endif  // FAKE_JNI_H
