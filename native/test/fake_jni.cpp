#include "fake_jni.h"

#include <algorithm>
#include <cstdarg>
#include <stdexcept>

namespace fakejni {

struct Object {
    enum class Kind { Class, String, ByteArray, IntArray, ObjectArray, DeviceInfo };
    Kind kind;
    std::string className;     // a class's name, or an object array's element class
    std::u16string chars;      // a String made by the test
    std::string bytesOfString; // a String made by the bridge from a byte[]
    std::vector<jbyte> bytes;
    std::vector<jint> ints;
    std::vector<Object*> elements;
    DeviceInfoArgs info{};
};

namespace {

constexpr char kDeviceInfoClass[] = "nl/tamsel/ftdi/usb/DeviceInfo";
constexpr char kDeviceInfoSignature[] = "(IIIILjava/lang/String;Ljava/lang/String;J)V";
const std::set<std::string> kKnownClasses = {
    kDeviceInfoClass,
    "java/lang/String",
    "java/lang/NullPointerException",
    "java/lang/ArrayIndexOutOfBoundsException",
};

// Method IDs are only compared, never dereferenced.
char deviceInfoConstructorTag;
char stringConstructorTag;
jmethodID deviceInfoConstructor() { return reinterpret_cast<jmethodID>(&deviceInfoConstructorTag); }
jmethodID stringConstructor() { return reinterpret_cast<jmethodID>(&stringConstructorTag); }

std::unique_ptr<Object> makeObject(Object::Kind kind) {
    auto object = std::make_unique<Object>();
    object->kind = kind;
    return object;
}

bool regionOutside(jsize size, jsize start, jsize length) {
    return start < 0 || length < 0 || length > size - start;
}

jclass JNICALL findClass(JNIEnv* env, const char* name) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("FindClass");
    if (vm.shouldFail("FindClass") || kKnownClasses.count(name) == 0) {
        vm.raise("java/lang/NoClassDefFoundError", name);
        return nullptr;
    }
    auto object = makeObject(Object::Kind::Class);
    object->className = name;
    return static_cast<jclass>(vm.track(std::move(object)));
}

jint JNICALL throwNew(JNIEnv* env, jclass clazz, const char* message) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("ThrowNew");
    Object* cls = vm.deref(clazz, "ThrowNew");
    if (cls == nullptr) {
        return -1;
    }
    vm.raise(cls->className, message != nullptr ? message : "");
    return 0;
}

jboolean JNICALL exceptionCheck(JNIEnv* env) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("ExceptionCheck", true);
    return vm.exceptionPending() ? JNI_TRUE : JNI_FALSE;
}

void JNICALL deleteLocalRef(JNIEnv* env, jobject ref) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("DeleteLocalRef", true);
    if (ref != nullptr) {
        vm.release(ref);
    }
}

jmethodID JNICALL getMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("GetMethodID");
    Object* cls = vm.deref(clazz, "GetMethodID");
    if (cls == nullptr) {
        return nullptr;
    }
    const std::string method = std::string(name) + sig;
    if (!vm.shouldFail("GetMethodID")) {
        if (cls->className == kDeviceInfoClass && method == std::string("<init>") + kDeviceInfoSignature) {
            return deviceInfoConstructor();
        }
        if (cls->className == "java/lang/String" && method == "<init>([B)V") {
            return stringConstructor();
        }
    }
    vm.raise("java/lang/NoSuchMethodError", method);
    return nullptr;
}

std::string bytesOfStringArgument(FakeVm& vm, jobject ref) {
    Object* text = vm.deref(ref, "NewObject");
    return text != nullptr ? text->bytesOfString : std::string();
}

jobject JNICALL newObjectV(JNIEnv* env, jclass clazz, jmethodID method, va_list args) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("NewObject");
    Object* cls = vm.deref(clazz, "NewObject");
    if (cls == nullptr) {
        return nullptr;
    }
    if (vm.shouldFail("NewObject")) {
        vm.raise("java/lang/OutOfMemoryError", "NewObject");
        return nullptr;
    }
    if (method == deviceInfoConstructor()) {
        auto info = makeObject(Object::Kind::DeviceInfo);
        info->className = kDeviceInfoClass;
        info->info.flags = va_arg(args, jint);
        info->info.type = va_arg(args, jint);
        info->info.id = va_arg(args, jint);
        info->info.locationId = va_arg(args, jint);
        info->info.serialNumber = bytesOfStringArgument(vm, va_arg(args, jobject));
        info->info.description = bytesOfStringArgument(vm, va_arg(args, jobject));
        info->info.handle = va_arg(args, jlong);
        return vm.track(std::move(info));
    }
    if (method == stringConstructor()) {
        Object* array = vm.deref(va_arg(args, jobject), "NewObject");
        if (array == nullptr) {
            return nullptr;
        }
        auto text = makeObject(Object::Kind::String);
        text->className = "java/lang/String";
        text->bytesOfString.assign(array->bytes.begin(), array->bytes.end());
        return vm.track(std::move(text));
    }
    throw std::logic_error("NewObject with a method ID the fake VM did not issue");
}

jobjectArray JNICALL newObjectArray(JNIEnv* env, jsize length, jclass clazz, jobject initial) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("NewObjectArray");
    Object* cls = vm.deref(clazz, "NewObjectArray");
    if (cls == nullptr) {
        return nullptr;
    }
    if (length < 0) {
        vm.raise("java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    if (vm.shouldFail("NewObjectArray") || vm.exceedsHeap(length)) {
        vm.raise("java/lang/OutOfMemoryError", "NewObjectArray");
        return nullptr;
    }
    auto array = makeObject(Object::Kind::ObjectArray);
    array->className = cls->className;
    Object* first = initial != nullptr ? vm.deref(initial, "NewObjectArray") : nullptr;
    array->elements.assign(static_cast<size_t>(length), first);
    return static_cast<jobjectArray>(vm.track(std::move(array)));
}

void JNICALL setObjectArrayElement(JNIEnv* env, jobjectArray arrayRef, jsize index, jobject value) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("SetObjectArrayElement");
    Object* array = vm.deref(arrayRef, "SetObjectArrayElement");
    if (array == nullptr) {
        return;
    }
    if (index < 0 || static_cast<size_t>(index) >= array->elements.size()) {
        vm.raise("java/lang/ArrayIndexOutOfBoundsException", std::to_string(index));
        return;
    }
    if (vm.shouldFail("SetObjectArrayElement")) {
        vm.raise("java/lang/ArrayStoreException", "SetObjectArrayElement");
        return;
    }
    array->elements[static_cast<size_t>(index)] =
        value != nullptr ? vm.deref(value, "SetObjectArrayElement") : nullptr;
}

jbyteArray JNICALL newByteArrayOfLength(JNIEnv* env, jsize length) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("NewByteArray");
    if (length < 0) {
        vm.raise("java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    if (vm.shouldFail("NewByteArray") || vm.exceedsHeap(length)) {
        vm.raise("java/lang/OutOfMemoryError", "NewByteArray");
        return nullptr;
    }
    auto array = makeObject(Object::Kind::ByteArray);
    array->bytes.assign(static_cast<size_t>(length), 0);
    return static_cast<jbyteArray>(vm.track(std::move(array)));
}

jsize JNICALL getArrayLength(JNIEnv* env, jarray arrayRef) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("GetArrayLength");
    Object* array = vm.deref(arrayRef, "GetArrayLength");
    if (array == nullptr) {
        return 0;
    }
    const size_t size = array->kind == Object::Kind::ByteArray  ? array->bytes.size()
                        : array->kind == Object::Kind::IntArray ? array->ints.size()
                                                                : array->elements.size();
    return static_cast<jsize>(size);
}

Object* byteRegion(FakeVm& vm, jbyteArray arrayRef, jsize start, jsize length,
                   const char* function) {
    vm.enter(function);
    Object* array = vm.deref(arrayRef, function);
    if (array == nullptr) {
        return nullptr;
    }
    if (regionOutside(static_cast<jsize>(array->bytes.size()), start, length)) {
        vm.raise("java/lang/ArrayIndexOutOfBoundsException", function);
        return nullptr;
    }
    return array;
}

void JNICALL getByteArrayRegion(JNIEnv* env, jbyteArray arrayRef, jsize start, jsize length,
                                jbyte* out) {
    FakeVm& vm = FakeVm::of(env);
    Object* array = byteRegion(vm, arrayRef, start, length, "GetByteArrayRegion");
    if (array != nullptr) {
        std::copy_n(array->bytes.begin() + start, length, out);
    }
}

void JNICALL setByteArrayRegion(JNIEnv* env, jbyteArray arrayRef, jsize start, jsize length,
                                const jbyte* in) {
    FakeVm& vm = FakeVm::of(env);
    Object* array = byteRegion(vm, arrayRef, start, length, "SetByteArrayRegion");
    if (array != nullptr) {
        std::copy_n(in, length, array->bytes.begin() + start);
    }
}

Object* intRegion(FakeVm& vm, jintArray arrayRef, jsize start, jsize length,
                  const char* function) {
    vm.enter(function);
    Object* array = vm.deref(arrayRef, function);
    if (array == nullptr) {
        return nullptr;
    }
    if (regionOutside(static_cast<jsize>(array->ints.size()), start, length)) {
        vm.raise("java/lang/ArrayIndexOutOfBoundsException", function);
        return nullptr;
    }
    return array;
}

void JNICALL getIntArrayRegion(JNIEnv* env, jintArray arrayRef, jsize start, jsize length,
                               jint* out) {
    FakeVm& vm = FakeVm::of(env);
    Object* array = intRegion(vm, arrayRef, start, length, "GetIntArrayRegion");
    if (array != nullptr) {
        std::copy_n(array->ints.begin() + start, length, out);
    }
}

void JNICALL setIntArrayRegion(JNIEnv* env, jintArray arrayRef, jsize start, jsize length,
                               const jint* in) {
    FakeVm& vm = FakeVm::of(env);
    Object* array = intRegion(vm, arrayRef, start, length, "SetIntArrayRegion");
    if (array != nullptr) {
        std::copy_n(in, length, array->ints.begin() + start);
    }
}

jsize JNICALL getStringLength(JNIEnv* env, jstring ref) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("GetStringLength");
    Object* text = vm.deref(ref, "GetStringLength");
    if (text == nullptr) {
        return 0;
    }
    if (vm.shouldFail("GetStringLength")) {
        vm.raise("java/lang/OutOfMemoryError", "GetStringLength");
        return 0;
    }
    return static_cast<jsize>(text->chars.size());
}

void JNICALL getStringUTFRegion(JNIEnv* env, jstring ref, jsize start, jsize length, char* out) {
    FakeVm& vm = FakeVm::of(env);
    vm.enter("GetStringUTFRegion");
    Object* text = vm.deref(ref, "GetStringUTFRegion");
    if (text == nullptr) {
        return;
    }
    if (vm.shouldFail("GetStringUTFRegion") ||
        regionOutside(static_cast<jsize>(text->chars.size()), start, length)) {
        vm.raise("java/lang/StringIndexOutOfBoundsException", "GetStringUTFRegion");
        return;
    }
    // The VM writes a terminating zero after the converted bytes, so the caller's buffer
    // must have room for it.
    const std::string converted =
        toModifiedUtf8(text->chars.substr(static_cast<size_t>(start), static_cast<size_t>(length)));
    std::copy(converted.begin(), converted.end(), out);
    out[converted.size()] = '\0';
}

}  // namespace

std::string toModifiedUtf8(const std::u16string& chars) {
    std::string out;
    for (char16_t unit : chars) {
        const unsigned value = unit;
        if (value >= 0x01 && value <= 0x7F) {
            out += static_cast<char>(value);
        } else if (value <= 0x7FF) {  // U+0000 too, as C0 80
            out += static_cast<char>(0xC0 | (value >> 6));
            out += static_cast<char>(0x80 | (value & 0x3F));
        } else {  // surrogates are encoded one by one
            out += static_cast<char>(0xE0 | (value >> 12));
            out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (value & 0x3F));
        }
    }
    return out;
}

FakeVm::FakeVm() : table_{}, env_{} {
    table_.reserved0 = this;
    table_.FindClass = findClass;
    table_.ThrowNew = throwNew;
    table_.ExceptionCheck = exceptionCheck;
    table_.DeleteLocalRef = deleteLocalRef;
    table_.GetMethodID = getMethodID;
    table_.NewObjectV = newObjectV;
    table_.NewObjectArray = newObjectArray;
    table_.SetObjectArrayElement = setObjectArrayElement;
    table_.NewByteArray = newByteArrayOfLength;
    table_.GetArrayLength = getArrayLength;
    table_.GetByteArrayRegion = getByteArrayRegion;
    table_.SetByteArrayRegion = setByteArrayRegion;
    table_.GetIntArrayRegion = getIntArrayRegion;
    table_.SetIntArrayRegion = setIntArrayRegion;
    table_.GetStringLength = getStringLength;
    table_.GetStringUTFRegion = getStringUTFRegion;
    env_.functions = &table_;
}

FakeVm::~FakeVm() = default;

FakeVm& FakeVm::of(JNIEnv* env) {
    return *static_cast<FakeVm*>(env->functions->reserved0);
}

jstring FakeVm::newString(const std::u16string& chars) {
    auto text = makeObject(Object::Kind::String);
    text->className = "java/lang/String";
    text->chars = chars;
    return static_cast<jstring>(track(std::move(text)));
}

jbyteArray FakeVm::newByteArray(const std::vector<jbyte>& bytes) {
    auto array = makeObject(Object::Kind::ByteArray);
    array->bytes = bytes;
    return static_cast<jbyteArray>(track(std::move(array)));
}

std::vector<jbyte> FakeVm::bytesOf(jbyteArray array) const {
    return reinterpret_cast<Object*>(array)->bytes;
}

jintArray FakeVm::newIntArray(const std::vector<jint>& ints) {
    auto array = makeObject(Object::Kind::IntArray);
    array->ints = ints;
    return static_cast<jintArray>(track(std::move(array)));
}

std::vector<jint> FakeVm::intsOf(jintArray array) const {
    return reinterpret_cast<Object*>(array)->ints;
}

std::vector<jobject> FakeVm::elementsOf(jobjectArray array) const {
    std::vector<jobject> elements;
    for (Object* element : reinterpret_cast<Object*>(array)->elements) {
        elements.push_back(reinterpret_cast<jobject>(element));
    }
    return elements;
}

DeviceInfoArgs FakeVm::deviceInfoOf(jobject info) const {
    return reinterpret_cast<Object*>(info)->info;
}

bool FakeVm::isDeviceInfoArray(jobjectArray array) const {
    const Object* object = reinterpret_cast<Object*>(array);
    return object->kind == Object::Kind::ObjectArray && object->className == kDeviceInfoClass;
}

void FakeVm::clearException() {
    exceptionClass_.clear();
    exceptionMessage_.clear();
}

void FakeVm::failCall(const std::string& function, int nth) {
    failures_[function] = callCount(function) + nth;
}

int FakeVm::callCount(const std::string& function) const {
    const auto found = calls_.find(function);
    return found == calls_.end() ? 0 : found->second;
}

bool FakeVm::enter(const char* function, bool allowedWithException) {
    ++calls_[function];
    if (exceptionPending() && !allowedWithException) {
        misuses_.push_back(std::string(function) + " called with " + exceptionClass_ + " pending");
        return false;
    }
    return true;
}

bool FakeVm::shouldFail(const char* function) {
    const auto found = failures_.find(function);
    if (found == failures_.end() || found->second != callCount(function)) {
        return false;
    }
    failures_.erase(found);
    return true;
}

void FakeVm::raise(const std::string& className, const std::string& message) {
    if (exceptionPending()) {
        misuses_.push_back("raised " + className + " over pending " + exceptionClass_);
    }
    exceptionClass_ = className;
    exceptionMessage_ = message;
}

Object* FakeVm::deref(jobject ref, const char* function) {
    Object* object = reinterpret_cast<Object*>(ref);
    if (object == nullptr) {
        misuses_.push_back(std::string("null reference passed to ") + function);
    } else if (liveRefs_.count(object) == 0) {
        misuses_.push_back(std::string("stale reference passed to ") + function);
        return nullptr;
    }
    return object;
}

jobject FakeVm::track(std::unique_ptr<Object> object) {
    Object* raw = object.get();
    objects_.push_back(std::move(object));
    liveRefs_.insert(raw);
    return reinterpret_cast<jobject>(raw);
}

void FakeVm::release(jobject ref) {
    if (liveRefs_.erase(reinterpret_cast<Object*>(ref)) == 0) {
        misuses_.push_back("DeleteLocalRef of a reference that is not live");
    }
}

}  // namespace fakejni
