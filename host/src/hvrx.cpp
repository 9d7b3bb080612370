// hvrx.cpp - the system registry, runtime classes, services and the
// dynamic linker.
#include "hvrx.h"

#include <memory>

#include "kelmodule.h"

namespace {

constexpr const char* kClassClassName = "HvRxClass";
constexpr const char* kDictionaryClassName = "HvRxDictionary";
constexpr const char* kLinkerClassName = "HvRxDynamicLinker";
constexpr const char* kServiceClassName = "HvRxService";

}  // namespace

// The registry's own access to the private parts of its classes.
class HvRxRegistryAccess {
 public:
  static HvRxDictionary* CreateRegistry();
  static void PutOwned(HvRxDictionary* d, const std::string& key, HvRxObject* obj) {
    d->entries_[key] = HvRxDictionary::Entry{obj, d->nextId_++, true};
  }
  static HvRxClass* NewClass(HvRxDictionary* classes, const std::string& name,
                             const std::string& parentName, HvRxConstructor ctor,
                             bool builtIn);
  static void DeleteClass(HvRxDictionary* classes, HvRxClass* cls);
  static void LinkClasses(HvRxDictionary* classes);
  static std::map<void*, bool>& Apps(HvRxDynamicLinker* l) { return l->apps_; }
};

namespace {

// A registered service: only its name and identity matter.
class HvRxService : public HvRxObject {
 public:
  HvRxClass* isA() const override;
};

HvRxDictionary* Classes() {
  return static_cast<HvRxDictionary*>(hvrxSysRegistry()->at(kHvRxClassDictionary));
}

HvRxClass* ClassNamed(const char* name) {
  return static_cast<HvRxClass*>(Classes()->at(name));
}

HvRxClass* HvRxService::isA() const {
  static HvRxClass* d = ClassNamed(kServiceClassName);
  return d;
}

HvRxDynamicLinker* Linker() {
  return static_cast<HvRxDynamicLinker*>(hvrxSysRegistry()->at(kHvRxDynamicLinker));
}

}  // namespace

HvRxDictionary* HvRxRegistryAccess::CreateRegistry() {
  auto* sys = new HvRxDictionary();
  auto* classes = new HvRxDictionary();
  PutOwned(sys, kHvRxClassDictionary, classes);
  PutOwned(sys, kHvRxDynamicLinker, new HvRxDynamicLinker());
  PutOwned(sys, kHvRxServiceDictionary, new HvRxDictionary());
  NewClass(classes, kHvRxObjectClassName, "", nullptr, true);
  for (const char* name : {kClassClassName, kDictionaryClassName, kLinkerClassName, kServiceClassName}) {
    NewClass(classes, name, kHvRxObjectClassName, nullptr, true);
  }
  return sys;
}

HvRxClass* HvRxRegistryAccess::NewClass(HvRxDictionary* classes, const std::string& name,
                                        const std::string& parentName, HvRxConstructor ctor,
                                        bool builtIn) {
  if (auto* existing = static_cast<HvRxClass*>(classes->at(name.c_str()))) return existing;
  auto* cls = new HvRxClass(name, parentName, ctor);
  cls->builtIn_ = builtIn;
  PutOwned(classes, name, cls);
  LinkClasses(classes);
  return cls;
}

void HvRxRegistryAccess::DeleteClass(HvRxDictionary* classes, HvRxClass* cls) {
  auto it = classes->entries_.find(cls->name_);
  if (it == classes->entries_.end() || it->second.object != cls || cls->builtIn_) return;
  classes->entries_.erase(it);
  for (auto& entry : classes->entries_) {
    auto* other = static_cast<HvRxClass*>(entry.second.object);
    if (other->parent_ == cls) other->parent_ = nullptr;
  }
  delete cls;
}

void HvRxRegistryAccess::LinkClasses(HvRxDictionary* classes) {
  for (auto& entry : classes->entries_) {
    auto* cls = static_cast<HvRxClass*>(entry.second.object);
    if (cls->parent_ || cls->parentName_.empty()) continue;
    cls->parent_ = static_cast<HvRxClass*>(classes->at(cls->parentName_.c_str()));
  }
}

// --- HvRxObject -----------------------------------------------------------

HvRxObject::~HvRxObject() = default;

int32_t HvRxObject::QueryInterface(const char* iid, void** out) {
  if (!out) return -1;
  *out = nullptr;
  if (!iid) return -1;
  for (const HvRxClass* c = isA(); c; c = c->myParent()) {
    if (std::string(c->name()) == iid) {
      *out = this;
      return 0;
    }
  }
  return -1;
}

uint32_t HvRxObject::AddRef() { return ++refs_; }

uint32_t HvRxObject::Release() {
  uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

HvRxClass* HvRxObject::isA() const { return desc(); }
HvRxObject* HvRxObject::clone() const { return nullptr; }
int32_t HvRxObject::copyFrom(const HvRxObject*) { return -1; }
bool HvRxObject::isEqualTo(const HvRxObject* other) const { return other == this; }

int32_t HvRxObject::comparedTo(const HvRxObject* other) const {
  return other == this ? kHvRxEqual : kHvRxNotOrdered;
}

HvRxClass* HvRxObject::desc() {
  static HvRxClass* d = ClassNamed(kHvRxObjectClassName);
  return d;
}

bool HvRxObject::isKindOf(const HvRxClass* cls) const {
  const HvRxClass* mine = isA();
  return mine && mine->isDerivedFrom(cls);
}

// --- HvRxClass ------------------------------------------------------------

HvRxClass::HvRxClass(std::string name, std::string parentName, HvRxConstructor ctor)
    : name_(std::move(name)), parentName_(std::move(parentName)), ctor_(ctor) {}

HvRxClass::~HvRxClass() = default;

bool HvRxClass::isDerivedFrom(const HvRxClass* other) const {
  if (!other) return false;
  for (const HvRxClass* c = this; c; c = c->parent_) {
    if (c == other) return true;
  }
  return false;
}

HvRxObject* HvRxClass::create() const { return ctor_ ? ctor_() : nullptr; }

HvRxClass* HvRxClass::isA() const { return desc(); }

HvRxClass* HvRxClass::desc() {
  static HvRxClass* d = ClassNamed(kClassClassName);
  return d;
}

// --- HvRxDictionary -------------------------------------------------------

HvRxDictionary::~HvRxDictionary() {
  for (auto& entry : entries_) {
    if (entry.second.owned) delete entry.second.object;
  }
}

HvRxObject* HvRxDictionary::at(const char* key) const {
  if (!key) return nullptr;
  auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : it->second.object;
}

HvRxObject* HvRxDictionary::atPut(const char* key, HvRxObject* object, uint32_t& retId) {
  retId = 0;
  if (!key || !object) return nullptr;
  auto it = entries_.find(key);
  if (it == entries_.end()) {
    retId = nextId_++;
    entries_.emplace(key, Entry{object, retId, false});
    return nullptr;
  }
  if (it->second.owned) return nullptr;
  HvRxObject* previous = it->second.object;
  retId = nextId_++;
  it->second = Entry{object, retId, false};
  return previous;
}

HvRxObject* HvRxDictionary::remove(const char* key) {
  if (!key) return nullptr;
  auto it = entries_.find(key);
  if (it == entries_.end() || it->second.owned) return nullptr;
  HvRxObject* object = it->second.object;
  entries_.erase(it);
  return object;
}

HvRxClass* HvRxDictionary::isA() const { return desc(); }

HvRxClass* HvRxDictionary::desc() {
  static HvRxClass* d = ClassNamed(kDictionaryClassName);
  return d;
}

// --- HvRxDynamicLinker ----------------------------------------------------

bool HvRxDynamicLinker::registerApp(void* appHandle) {
  auto it = apps_.find(appHandle);
  if (it == apps_.end()) return false;
  it->second = true;
  return true;
}

bool HvRxDynamicLinker::isAppRegistered(void* appHandle) const {
  auto it = apps_.find(appHandle);
  return it != apps_.end() && it->second;
}

HvRxClass* HvRxDynamicLinker::isA() const { return desc(); }

HvRxClass* HvRxDynamicLinker::desc() {
  static HvRxClass* d = ClassNamed(kLinkerClassName);
  return d;
}

void HvRxLinkerAddApp(void* appHandle) { HvRxRegistryAccess::Apps(Linker())[appHandle] = false; }

void HvRxLinkerRemoveApp(void* appHandle) { HvRxRegistryAccess::Apps(Linker()).erase(appHandle); }

// --- free functions -------------------------------------------------------

HvRxDictionary* hvrxSysRegistry() {
  static std::unique_ptr<HvRxDictionary> registry(HvRxRegistryAccess::CreateRegistry());
  return registry.get();
}

HvRxClass* newHvRxClass(const char* name, const char* parentName, int32_t /*proxyFlags*/,
                        HvRxConstructor ctor, const char* /*dxfName*/, const char* /*appName*/) {
  if (!name || !*name) return nullptr;
  return HvRxRegistryAccess::NewClass(Classes(), name, parentName ? parentName : "", ctor, false);
}

void deleteHvRxClass(HvRxClass* cls) {
  if (cls) HvRxRegistryAccess::DeleteClass(Classes(), cls);
}

void hvrxBuildClassHierarchy() { HvRxRegistryAccess::LinkClasses(Classes()); }

HvRxObject* hvrxRegisterService(const char* serviceName) {
  if (!serviceName || !*serviceName) return nullptr;
  auto* services = static_cast<HvRxDictionary*>(hvrxSysRegistry()->at(kHvRxServiceDictionary));
  if (HvRxObject* existing = services->at(serviceName)) return existing;
  auto* service = new HvRxService();
  HvRxRegistryAccess::PutOwned(services, serviceName, service);
  return service;
}
