// hvrx.h - the host's runtime-extension interface.
//
// A module is a shared library that exports
//     extern "C" int hvrxEntryPoint(int msg, void* appHandle);
// The host calls it with these messages (see HvRxMessage):
//     1  the module has been loaded (appHandle names it; never null)
//     3  define the LISP functions (kel_defun, see kel.h)
//     5  a LISP function of the module is being called
//     4  undefine the LISP functions
//     2  the module is about to be unloaded
// in the order 1, 3, any number of 5, 4, 2, after which the host unloads the
// library. The entry point answers 0 for success and 3 for failure; a failed
// 1 or 3 aborts the load.
//
// The process-wide system registry (hvrxSysRegistry) is a dictionary of named
// objects. Its built-in entries are the class dictionary ("ClassDictionary",
// class name -> HvRxClass), the dynamic linker ("DynamicLinker") and the
// service dictionary ("ServiceDictionary"). Runtime classes are described by
// HvRxClass objects created with newHvRxClass and linked to their parents by
// hvrxBuildClassHierarchy.
//
// Everything here is single-threaded, like the LISP interpreter that calls
// the modules. No function raises a C++ exception except on exhausted memory
// (std::bad_alloc), and modules must not let exceptions reach the host.
#ifndef ZQLHOST_HVRX_H
#define ZQLHOST_HVRX_H

#include <cstdint>
#include <map>
#include <string>

class HvRxClass;

// Messages of the module entry point.
enum HvRxMessage : int {
  kHvRxInitAppMsg = 1,
  kHvRxUnloadAppMsg = 2,
  kHvRxLoadFuncMsg = 3,
  kHvRxUnloadFuncMsg = 4,
  kHvRxInvokeFuncMsg = 5,
};

// Answers of the entry point.
enum HvRxStatus : int { kHvRxOk = 0, kHvRxFail = 3 };

// Signature of the exported entry point.
typedef int (*HvRxEntryPointFn)(int msg, void* appHandle);

// Names of the built-in registry entries and of the root class.
constexpr const char* kHvRxClassDictionary = "ClassDictionary";
constexpr const char* kHvRxDynamicLinker = "DynamicLinker";
constexpr const char* kHvRxServiceDictionary = "ServiceDictionary";
constexpr const char* kHvRxObjectClassName = "HvRxObject";

// Answers of comparedTo.
enum HvRxOrdering : int32_t {
  kHvRxLess = -1,
  kHvRxEqual = 0,
  kHvRxGreater = 1,
  kHvRxNotOrdered = 2,
};

// Base of every runtime object. Objects are owned explicitly (the creator, or
// whoever a function hands the object to, deletes it). The reference count
// serves interface-style holders: it starts at 1 for the creator, and
// Release() deletes the object when it drops to 0; an owner that deletes the
// object directly must not also call Release().
class HvRxObject {
 public:
  HvRxObject() = default;
  HvRxObject(const HvRxObject&) = delete;
  HvRxObject& operator=(const HvRxObject&) = delete;

  // Stores this object in *out and answers 0 when iid names this object's
  // class or one of its ancestors; else stores null and answers -1. A null
  // iid or out answers -1.
  virtual int32_t QueryInterface(const char* iid, void** out);
  // Adds a reference; answers the new count.
  virtual uint32_t AddRef();
  // Drops a reference; at 0 the object deletes itself. Answers the new count.
  virtual uint32_t Release();
  virtual ~HvRxObject();
  // The object's runtime class. Subclasses that register a class override it.
  virtual HvRxClass* isA() const;
  // A new copy of the object owned by the caller, or null when the class
  // cannot be copied (the base cannot).
  virtual HvRxObject* clone() const;
  // Copies other's state into this object; answers 0 on success, -1 when
  // the classes do not allow it (the base never does).
  virtual int32_t copyFrom(const HvRxObject* other);
  // Identity in the base: true only for the same object.
  virtual bool isEqualTo(const HvRxObject* other) const;
  // An HvRxOrdering; the base answers kHvRxEqual for the same object and
  // kHvRxNotOrdered otherwise.
  virtual int32_t comparedTo(const HvRxObject* other) const;

  // The class description of HvRxObject itself.
  static HvRxClass* desc();
  // True when isA() is cls or derives from it. A null cls answers false.
  bool isKindOf(const HvRxClass* cls) const;

 private:
  uint32_t refs_ = 1;
};

// Makes a new object of a runtime class (see newHvRxClass).
typedef HvRxObject* (*HvRxConstructor)();

// Description of a runtime class. Owned by the class dictionary; valid until
// deleteHvRxClass (or process exit for the built-in classes).
class HvRxClass : public HvRxObject {
 public:
  // The class's name and its parent's name; borrowed, valid as the class.
  const char* name() const { return name_.c_str(); }
  const char* parentName() const { return parentName_.c_str(); }
  // The linked parent, or null while unlinked (see hvrxBuildClassHierarchy).
  HvRxClass* myParent() const { return parent_; }
  // True when this class is other or derives from it through linked
  // parents. A null other answers false.
  bool isDerivedFrom(const HvRxClass* other) const;
  // A new object made by the class's constructor (owned by the caller), or
  // null when the class has none or the constructor fails.
  HvRxObject* create() const;

  HvRxClass* isA() const override;
  static HvRxClass* desc();

 private:
  friend class HvRxRegistryAccess;
  HvRxClass(std::string name, std::string parentName, HvRxConstructor ctor);
  ~HvRxClass() override;

  std::string name_;
  std::string parentName_;
  HvRxConstructor ctor_;
  HvRxClass* parent_ = nullptr;
  bool builtIn_ = false;
};

// A dictionary of named objects. Entries the host puts in itself (the
// built-in ones) are owned by the dictionary; entries stored through atPut
// stay their inserter's responsibility.
class HvRxDictionary : public HvRxObject {
 public:
  HvRxDictionary() = default;
  // Deletes the entries the dictionary owns; others are only forgotten.
  ~HvRxDictionary() override;

  // The object stored under key, or null (also for a null key).
  HvRxObject* at(const char* key) const;
  // Stores object under key and sets retId to the entry's id (1 and up).
  // Answers the object that was stored under key before, which passes to
  // the caller, or null. Nothing is stored (retId 0, null answered) for a
  // null key or object, or when key names a built-in entry.
  HvRxObject* atPut(const char* key, HvRxObject* object, uint32_t& retId);
  // Removes the entry and answers its object, which the caller then owns
  // and deletes; null when there is none. Built-in entries cannot be
  // removed (null).
  HvRxObject* remove(const char* key);
  // True when key has an entry.
  bool has(const char* key) const { return at(key) != nullptr; }
  // The number of entries.
  uint32_t numEntries() const { return static_cast<uint32_t>(entries_.size()); }

  HvRxClass* isA() const override;
  static HvRxClass* desc();

 private:
  friend class HvRxRegistryAccess;
  struct Entry {
    HvRxObject* object;
    uint32_t id;
    bool owned;  // built-in: deleted with the dictionary, never replaced
  };
  std::map<std::string, Entry> entries_;
  uint32_t nextId_ = 1;
};

// The dynamic linker: the registry's record of the modules the host loads.
class HvRxDynamicLinker : public HvRxObject {
 public:
  // Registers the application handle that the host passed with message 1.
  // Answers true when appHandle names a module the host is loading or has
  // loaded, false for anything else (null included).
  bool registerApp(void* appHandle);
  // True when registerApp accepted appHandle and the module is still loaded.
  bool isAppRegistered(void* appHandle) const;

  HvRxClass* isA() const override;
  static HvRxClass* desc();

 private:
  friend class HvRxRegistryAccess;
  std::map<void*, bool> apps_;  // known handle -> registered by the module
};

// The system registry, created on first use; never null. Valid until the
// process exits.
HvRxDictionary* hvrxSysRegistry();

// Creates the description of a runtime class and enters it in the class
// dictionary, linking it to its parent when that class exists already.
// proxyFlags, dxfName and appName are accepted for compatibility and
// ignored. Answers the description (owned by the dictionary), the existing
// one when a class of that name exists, or null for a null or empty name.
HvRxClass* newHvRxClass(const char* name, const char* parentName,
                        int32_t proxyFlags, HvRxConstructor ctor,
                        const char* dxfName, const char* appName);

// Removes a class made by newHvRxClass from the class dictionary and
// deletes it; classes that had it as parent become unlinked. Null and the
// built-in classes are ignored.
void deleteHvRxClass(HvRxClass* cls);

// Links every unlinked class whose parent now exists to that parent.
void hvrxBuildClassHierarchy();

// Answers the service object registered under serviceName in the service
// dictionary, creating it on first use; null for a null or empty name. The
// object is owned by the registry.
HvRxObject* hvrxRegisterService(const char* serviceName);

#endif  // ZQLHOST_HVRX_H
