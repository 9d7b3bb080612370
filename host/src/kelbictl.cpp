// kelbictl.cpp - special forms and the built-ins that control evaluation:
// quote setq defun lambda function progn if cond and or while repeat foreach
// catch-error, and apply mapcar eval set load exit.
#include <algorithm>
#include <cstdint>

#include "kelengine.h"

namespace kel {

namespace {

Value First(const Value& args) { return ConsOf(args)->car; }
Value Rest(const Value& args) { return ConsOf(args)->cdr; }
Value Second(const Value& args) { return First(Rest(args)); }

Value Quote(Engine&, const Value& args) { return First(args); }

Value Setq(Engine& e, const Value& args) {
  Value last;
  for (Value p = args; p.is(Kind::kCons); p = Rest(Rest(p))) {
    if (!Rest(p).is(Kind::kCons)) Fail("too few arguments");
    Value sym = First(p);
    NeedSym(sym);
    last = e.eval(Second(p));
    e.setValue(sym, last);
  }
  return last;
}

Value Defun(Engine& e, const Value& args) {
  Value name = First(args);
  NeedSym(name);
  Value fn = e.makeLambda(Rest(args), SymOf(name)->name);
  e.setValue(name, fn);
  return name;
}

Value Lambda(Engine& e, const Value& args) { return e.makeLambda(args, "LAMBDA"); }

// (function x): a lambda list becomes a function, a symbol naming a function
// gives that function; anything else is returned as quote would.
Value Function(Engine& e, const Value& args) {
  Value x = First(args);
  if (x.is(Kind::kCons) && First(x) == e.symLambda()) return e.makeLambda(Rest(x), "LAMBDA");
  if (x.is(Kind::kSym) && IsFunctionCell(SymOf(x)->value)) return SymOf(x)->value;
  return x;
}

Value Progn(Engine& e, const Value& args) { return e.progn(args); }

Value If(Engine& e, const Value& args) {
  if (!e.eval(First(args)).isNil()) return e.eval(Second(args));
  Value rest = Rest(Rest(args));
  return rest.is(Kind::kCons) ? e.eval(First(rest)) : Value();
}

Value Cond(Engine& e, const Value& args) {
  for (Value p = args; p.is(Kind::kCons); p = Rest(p)) {
    Value clause = First(p);
    if (!clause.is(Kind::kCons)) BadType("consp", clause);
    Value test = e.eval(First(clause));
    if (test.isNil()) continue;
    return Rest(clause).isNil() ? test : e.progn(Rest(clause));
  }
  return nullptr;
}

// and / or answer T or nil, as in CAD LISPs, not the deciding value.
Value And(Engine& e, const Value& args) {
  for (Value p = args; p.is(Kind::kCons); p = Rest(p)) {
    if (e.eval(First(p)).isNil()) return nullptr;
  }
  return e.symT();
}

Value Or(Engine& e, const Value& args) {
  for (Value p = args; p.is(Kind::kCons); p = Rest(p)) {
    if (!e.eval(First(p)).isNil()) return e.symT();
  }
  return nullptr;
}

Value While(Engine& e, const Value& args) {
  Value last;
  while (!e.eval(First(args)).isNil()) {
    e.poll();
    last = e.progn(Rest(args));
  }
  return last;
}

Value Repeat(Engine& e, const Value& args) {
  Value count = e.eval(First(args));
  NeedInt(count);
  Value last;
  for (int32_t i = 0; i < IntOf(count); ++i) {
    e.poll();
    last = e.progn(Rest(args));
  }
  return last;
}

Value Foreach(Engine& e, const Value& args) {
  Value sym = First(args);
  NeedSym(sym);
  Value list = e.eval(Second(args));
  std::vector<Value> items = ListItems(list);
  Value body = Rest(Rest(args));
  Engine::Binding binding;
  binding.bind(sym, nullptr);
  Value last;
  for (Value& item : items) {
    e.setValue(sym, std::move(item));
    last = e.progn(body);
  }
  return last;
}

// (catch-error form...): (T . value of the last form), or (nil . message)
// when an error ends the forms early. exit passes through.
Value CatchError(Engine& e, const Value& args) {
  try {
    Value v = e.progn(args);
    return Cons(e.symT(), v);
  } catch (const LispCancel&) {
    throw;
  } catch (const LispError& err) {
    return Cons(nullptr, MakeStr(err.what()));
  } catch (const std::bad_alloc&) {
    return Cons(nullptr, MakeStr("insufficient memory"));
  } catch (const std::length_error&) {
    return Cons(nullptr, MakeStr("insufficient memory"));
  }
}

Value Apply(Engine& e, std::vector<Value>& args) {
  Value fn = e.toFunction(args[0]);
  std::vector<Value> callArgs = ListItems(args[1]);
  return e.apply(fn, callArgs);
}

Value Mapcar(Engine& e, std::vector<Value>& args) {
  Value fn = e.toFunction(args[0]);
  std::vector<std::vector<Value>> lists;
  size_t n = SIZE_MAX;
  for (size_t i = 1; i < args.size(); ++i) {
    lists.push_back(ListItems(args[i]));
    n = std::min(n, lists.back().size());
  }
  std::vector<Value> results;
  for (size_t k = 0; k < n; ++k) {
    std::vector<Value> callArgs;
    for (auto& list : lists) callArgs.push_back(list[k]);
    results.push_back(e.apply(fn, callArgs));
  }
  return ListFrom(results);
}

Value Eval(Engine& e, std::vector<Value>& args) { return e.eval(args[0]); }

Value Set(Engine& e, std::vector<Value>& args) {
  e.setValue(args[0], args[1]);
  return args[1];
}

// (load name [onfailure]): evaluates a file's forms and answers the last
// value; a missing file answers onfailure when given.
Value Load(Engine& e, std::vector<Value>& args) {
  NeedStr(args[0]);
  std::string path = e.findLoadFile(StrOf(args[0]));
  std::string text;
  if (path.empty() || !ReadSourceFile(path, &text)) {
    if (args.size() > 1) return args[1];
    Fail("LOAD failed: " + PrintForm(args[0], true));
  }
  return e.evalSource(text, path, {});
}

Value Exit(Engine&, std::vector<Value>& args) {
  int32_t code = 0;
  if (!args.empty()) {
    NeedInt(args[0]);
    code = IntOf(args[0]);
  }
  throw LispExit{code};
}

const Builtin kControl[] = {
    {"QUOTE", 1, 1, nullptr, Quote},
    {"SETQ", 2, -1, nullptr, Setq},
    {"DEFUN", 2, -1, nullptr, Defun},
    {"LAMBDA", 1, -1, nullptr, Lambda},
    {"FUNCTION", 1, 1, nullptr, Function},
    {"PROGN", 0, -1, nullptr, Progn},
    {"IF", 2, 3, nullptr, If},
    {"COND", 0, -1, nullptr, Cond},
    {"AND", 0, -1, nullptr, And},
    {"OR", 0, -1, nullptr, Or},
    {"WHILE", 1, -1, nullptr, While},
    {"REPEAT", 1, -1, nullptr, Repeat},
    {"FOREACH", 2, -1, nullptr, Foreach},
    {"CATCH-ERROR", 0, -1, nullptr, CatchError},
    {"APPLY", 2, 2, Apply, nullptr},
    {"MAPCAR", 2, -1, Mapcar, nullptr},
    {"EVAL", 1, 1, Eval, nullptr},
    {"SET", 2, 2, Set, nullptr},
    {"LOAD", 1, 2, Load, nullptr},
    {"EXIT", 0, 1, Exit, nullptr},
    {"QUIT", 0, 1, Exit, nullptr},
};

}  // namespace

void RegisterControlBuiltins(Engine& e) {
  e.defineBuiltins(kControl, sizeof kControl / sizeof kControl[0]);
}

}  // namespace kel
