// keleval.cpp - evaluation and function calls.
//
// Variables are dynamically scoped, as in CAD LISPs: a call binds its
// parameters and locals in their symbols for the length of the call and
// restores the previous values afterwards, even when an error unwinds it.
#include "kelengine.h"

namespace kel {

namespace {

bool IsLambdaList(const Value& v, const Value& lambdaSym) {
  return v.is(Kind::kCons) && ConsOf(v)->car == lambdaSym;
}

size_t CountForms(const Value& args) {
  size_t n = 0;
  const Cell* p = args.get();
  while (p && p->kind == Kind::kCons) {
    ++n;
    p = static_cast<const ConsCell*>(p)->cdr.get();
  }
  return n;
}

void CheckArity(const Builtin& b, size_t n) {
  if (n < static_cast<size_t>(b.minArgs)) Fail("too few arguments");
  if (b.maxArgs >= 0 && n > static_cast<size_t>(b.maxArgs)) Fail("too many arguments");
}

}  // namespace

Value Engine::eval(const Value& form) {
  if (form.isNil()) return nullptr;
  switch (form.get()->kind) {
    case Kind::kSym: return SymOf(form)->value;
    case Kind::kCons: return evalCall(form);
    default: return form;  // numbers, strings and functions evaluate to themselves
  }
}

Value Engine::progn(const Value& forms) {
  Value last;
  for (Value p = forms; p.is(Kind::kCons); p = ConsOf(p)->cdr) last = eval(ConsOf(p)->car);
  return last;
}

Value Engine::evalCall(const Value& form) {
  DepthGuard guard(*this);
  const ConsCell* call = ConsOf(form);
  Value fn = headFunction(call->car);
  if (fn.is(Kind::kSubr)) {
    const Builtin* def = static_cast<SubrCell*>(fn.get())->def;
    if (def->special) {
      CheckArity(*def, CountForms(call->cdr));
      return def->special(*this, call->cdr);
    }
  }
  ArgFrame frame(*this);
  std::vector<Value>& args = frame.args();
  Value p = call->cdr;
  for (; p.is(Kind::kCons); p = ConsOf(p)->cdr) args.push_back(eval(ConsOf(p)->car));
  if (!p.isNil()) BadType("listp", call->cdr);  // (f a . b)
  return apply(fn, args);
}

Engine::ArgFrame::ArgFrame(Engine& e) : e_(e) {
  if (e_.argTop_ == e_.argStack_.size())
    e_.argStack_.push_back(std::make_unique<std::vector<Value>>());
  args_ = e_.argStack_[e_.argTop_++].get();
}

Engine::ArgFrame::~ArgFrame() {
  // A call with many arguments does not leave its large vector behind.
  constexpr size_t kKeptCapacity = 16;
  if (args_->capacity() > kKeptCapacity)
    std::vector<Value>().swap(*args_);
  else
    args_->clear();
  --e_.argTop_;
}

// The function the head of a call names: a symbol's function value, a
// (LAMBDA ...) list, or the value of any other list form.
Value Engine::headFunction(const Value& head) {
  if (head.is(Kind::kSym)) {
    const Value& v = SymOf(head)->value;
    if (IsFunctionCell(v)) return v;
    if (IsLambdaList(v, lambda_)) return makeLambda(ConsOf(v)->cdr, SymOf(head)->name);
    Fail("no function definition: " + SymOf(head)->name);
  }
  if (IsLambdaList(head, lambda_)) return makeLambda(ConsOf(head)->cdr, "LAMBDA");
  if (head.is(Kind::kCons)) {
    Value v = eval(head);
    if (IsFunctionCell(v)) return v;
    if (IsLambdaList(v, lambda_)) return makeLambda(ConsOf(v)->cdr, "LAMBDA");
    Fail("bad function: " + ShortForm(v));
  }
  Fail("bad function: " + ShortForm(head));
}

Value Engine::toFunction(const Value& designator) {
  if (IsFunctionCell(designator)) return designator;
  if (designator.is(Kind::kSym)) return headFunction(designator);
  if (IsLambdaList(designator, lambda_)) return makeLambda(ConsOf(designator)->cdr, "LAMBDA");
  Fail("bad function: " + ShortForm(designator));
}

Value Engine::makeLambda(const Value& definition, std::string name) {
  if (!definition.is(Kind::kCons)) Fail("bad argument list: " + ShortForm(definition));
  Value arglist = ConsOf(definition)->car;
  NeedList(arglist);
  auto fn = std::make_unique<UsubrCell>();
  fn->name = std::move(name);
  bool inLocals = false;
  for (const Value& sym : ListItems(arglist)) {
    NeedSym(sym);
    if (sym == slash_ && !inLocals) {
      inLocals = true;
      continue;
    }
    if (SymOf(sym)->constant) Fail("attempt to set a constant: " + SymOf(sym)->name);
    (inLocals ? fn->locals : fn->params).push_back(sym);
  }
  fn->body = ConsOf(definition)->cdr;
  return Value(fn.release());
}

Value Engine::apply(const Value& fn, std::vector<Value>& args) {
  switch (fn.isNil() ? Kind::kInt : fn.get()->kind) {
    case Kind::kSubr: {
      const Builtin* def = static_cast<SubrCell*>(fn.get())->def;
      if (def->special) Fail(std::string("bad function: ") + ShortForm(fn));
      CheckArity(*def, args.size());
      return def->fn(*this, args);
    }
    case Kind::kUsubr:
      return callUsubr(*static_cast<UsubrCell*>(fn.get()), args);
    case Kind::kExsubr:
      return callExternal(*static_cast<ExsubrCell*>(fn.get()), args);
    default:
      Fail("bad function: " + ShortForm(fn));
  }
}

Value Engine::callUsubr(const UsubrCell& fn, std::vector<Value>& args) {
  if (args.size() < fn.params.size()) Fail("too few arguments");
  if (args.size() > fn.params.size()) Fail("too many arguments");
  Binding binding;
  for (size_t i = 0; i < args.size(); ++i) binding.bind(fn.params[i], std::move(args[i]));
  for (const Value& local : fn.locals) binding.bind(local, nullptr);
  return progn(fn.body);
}

}  // namespace kel
