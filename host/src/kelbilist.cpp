// kelbilist.cpp - lists and the general predicates: list cons car cdr and
// the c[ad]r family, nth last length append reverse assoc member subst,
// listp atom null not eq equal type boundp.
#include "kelengine.h"

namespace kel {

namespace {

Value List(Engine&, std::vector<Value>& a) { return ListFrom(a); }

// (cons x list) prepends; (cons x atom) makes a dotted pair.
Value ConsFn(Engine&, std::vector<Value>& a) { return Cons(a[0], a[1]); }

// Applies car ('a') and cdr ('d') in the order given.
template <char... Ops>
Value Cxr(Engine&, std::vector<Value>& a) {
  Value v = a[0];
  for (char op : {Ops...}) v = (op == 'a') ? Car(v) : Cdr(v);
  return v;
}

Value Nth(Engine&, std::vector<Value>& a) {
  NeedInt(a[0]);
  NeedList(a[1]);
  int32_t n = IntOf(a[0]);
  if (n < 0) return nullptr;
  Value p = a[1];
  for (int32_t i = 0; i < n && p.is(Kind::kCons); ++i) p = ConsOf(p)->cdr;
  return p.is(Kind::kCons) ? ConsOf(p)->car : Value();
}

Value Last(Engine&, std::vector<Value>& a) {
  NeedList(a[0]);
  Value p = a[0];
  if (p.isNil()) return nullptr;
  while (ConsOf(p)->cdr.is(Kind::kCons)) p = ConsOf(p)->cdr;
  return ConsOf(p)->car;
}

Value Length(Engine&, std::vector<Value>& a) {
  NeedList(a[0]);
  return MakeInt(static_cast<int32_t>(ListItems(a[0]).size()));
}

// Copies every list but the last, which is shared.
Value Append(Engine&, std::vector<Value>& a) {
  if (a.empty()) return nullptr;
  Value result = a.back();
  NeedList(result);
  for (size_t i = a.size() - 1; i-- > 0;) {
    std::vector<Value> items = ListItems(a[i]);
    for (auto it = items.rbegin(); it != items.rend(); ++it) result = Cons(*it, result);
  }
  return result;
}

Value Reverse(Engine&, std::vector<Value>& a) {
  Value result;
  for (const Value& v : ListItems(a[0])) result = Cons(v, result);
  return result;
}

// (assoc key alist): the first element whose car equals key.
Value Assoc(Engine&, std::vector<Value>& a) {
  for (const Value& entry : ListItems(a[1])) {
    if (entry.is(Kind::kCons) && Equal(ConsOf(entry)->car, a[0])) return entry;
  }
  return nullptr;
}

// (member x list): the tail of list starting at the first element equal to x.
Value Member(Engine&, std::vector<Value>& a) {
  NeedList(a[1]);
  for (Value p = a[1]; p.is(Kind::kCons); p = ConsOf(p)->cdr) {
    if (Equal(ConsOf(p)->car, a[0])) return p;
  }
  return nullptr;
}

// Replaces every element equal to old, at any depth of nested lists.
Value SubstIn(Engine& e, const Value& repl, const Value& old, const Value& list) {
  Engine::DepthGuard guard(e);
  std::vector<Value> items;
  Value p = list;
  for (; p.is(Kind::kCons); p = ConsOf(p)->cdr) {
    const Value& item = ConsOf(p)->car;
    if (Equal(item, old)) {
      items.push_back(repl);
    } else if (item.is(Kind::kCons)) {
      items.push_back(SubstIn(e, repl, old, item));
    } else {
      items.push_back(item);
    }
  }
  Value result = Equal(p, old) && !p.isNil() ? repl : p;  // a dotted tail
  for (auto it = items.rbegin(); it != items.rend(); ++it) result = Cons(*it, result);
  return result;
}

Value Subst(Engine& e, std::vector<Value>& a) {
  NeedList(a[2]);
  return SubstIn(e, a[0], a[1], a[2]);
}

Value Listp(Engine& e, std::vector<Value>& a) { return e.boolValue(IsList(a[0])); }
Value Atom(Engine& e, std::vector<Value>& a) { return e.boolValue(!a[0].is(Kind::kCons)); }
Value Null(Engine& e, std::vector<Value>& a) { return e.boolValue(a[0].isNil()); }
Value EqFn(Engine& e, std::vector<Value>& a) { return e.boolValue(Eq(a[0], a[1])); }

Value EqualFn(Engine& e, std::vector<Value>& a) {
  double fuzz = 0.0;
  if (a.size() > 2) {
    NeedNumber(a[2]);
    fuzz = NumOf(a[2]);
  }
  return e.boolValue(Equal(a[0], a[1], fuzz));
}

const char* TypeName(Kind k) {
  switch (k) {
    case Kind::kInt: return "INT";
    case Kind::kReal: return "REAL";
    case Kind::kStr: return "STR";
    case Kind::kSym: return "SYM";
    case Kind::kCons: return "LIST";
    case Kind::kSubr: return "SUBR";
    case Kind::kUsubr: return "USUBR";
    case Kind::kExsubr: return "EXRXSUBR";
  }
  return "SYM";
}

Value Type(Engine& e, std::vector<Value>& a) {
  if (a[0].isNil()) return nullptr;
  return e.intern(TypeName(a[0].get()->kind));
}

// (boundp 'sym): T when the symbol has a value other than nil.
Value Boundp(Engine& e, std::vector<Value>& a) {
  if (a[0].isNil()) return nullptr;
  NeedSym(a[0]);
  return e.boolValue(!SymOf(a[0])->value.isNil());
}

const Builtin kList[] = {
    {"LIST", 0, -1, List, nullptr},
    {"CONS", 2, 2, ConsFn, nullptr},
    {"CAR", 1, 1, Cxr<'a'>, nullptr},
    {"CDR", 1, 1, Cxr<'d'>, nullptr},
    {"CAAR", 1, 1, Cxr<'a', 'a'>, nullptr},
    {"CADR", 1, 1, Cxr<'d', 'a'>, nullptr},
    {"CDAR", 1, 1, Cxr<'a', 'd'>, nullptr},
    {"CDDR", 1, 1, Cxr<'d', 'd'>, nullptr},
    {"CAAAR", 1, 1, Cxr<'a', 'a', 'a'>, nullptr},
    {"CAADR", 1, 1, Cxr<'d', 'a', 'a'>, nullptr},
    {"CADAR", 1, 1, Cxr<'a', 'd', 'a'>, nullptr},
    {"CADDR", 1, 1, Cxr<'d', 'd', 'a'>, nullptr},
    {"CDAAR", 1, 1, Cxr<'a', 'a', 'd'>, nullptr},
    {"CDADR", 1, 1, Cxr<'d', 'a', 'd'>, nullptr},
    {"CDDAR", 1, 1, Cxr<'a', 'd', 'd'>, nullptr},
    {"CDDDR", 1, 1, Cxr<'d', 'd', 'd'>, nullptr},
    {"NTH", 2, 2, Nth, nullptr},
    {"LAST", 1, 1, Last, nullptr},
    {"LENGTH", 1, 1, Length, nullptr},
    {"APPEND", 0, -1, Append, nullptr},
    {"REVERSE", 1, 1, Reverse, nullptr},
    {"ASSOC", 2, 2, Assoc, nullptr},
    {"MEMBER", 2, 2, Member, nullptr},
    {"SUBST", 3, 3, Subst, nullptr},
    {"LISTP", 1, 1, Listp, nullptr},
    {"ATOM", 1, 1, Atom, nullptr},
    {"NULL", 1, 1, Null, nullptr},
    {"NOT", 1, 1, Null, nullptr},
    {"EQ", 2, 2, EqFn, nullptr},
    {"EQUAL", 2, 3, EqualFn, nullptr},
    {"TYPE", 1, 1, Type, nullptr},
    {"BOUNDP", 1, 1, Boundp, nullptr},
};

}  // namespace

void RegisterListBuiltins(Engine& e) {
  e.defineBuiltins(kList, sizeof kList / sizeof kList[0]);
}

}  // namespace kel
