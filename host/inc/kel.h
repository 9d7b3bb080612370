// kel.h - the host's LISP-extension C interface.
//
// A module loaded by the host (see hvrx.h) defines LISP functions with
// kel_defun during message 3 of its entry point. When LISP code calls one of
// them, the host converts the arguments into a chain of resbuf nodes, makes
// the function's code current and calls the entry point with message 5. The
// module reads the chain (kel_getargs), hands back one result (kel_ret*) or
// reports a failure (kel_fail), and returns.
//
// Every function here is safe to call at any time: outside the situation it
// is meant for it answers RTERROR (or null) instead of failing hard. None of
// them raises a C++ exception. The interface is single-threaded: call it only
// from the thread that runs the LISP interpreter.
#ifndef ZQLHOST_KEL_H
#define ZQLHOST_KEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Statuses answered by the kel_* functions.
enum {
  RTNORM = 5100,    // success
  RTERROR = -5001,  // the request could not be carried out
};

// Type codes of a resbuf node (restype).
enum {
  RTREAL = 5001,     // rreal
  RTPOINT = 5002,    // rpoint[0..1]
  RTSHORT = 5003,    // rint, a 16-bit integer
  RTSTR = 5005,      // rstring, a C string
  RTENAME = 5006,    // rlname[0..1]
  RT3DPOINT = 5009,  // rpoint[0..2]
  RTLONG = 5010,     // rlong, a 32-bit integer
  RTLB = 5016,       // list begin, no value
  RTLE = 5017,       // list end, no value
  RTDOTE = 5018,     // the dot of a dotted pair, no value
  RTNIL = 5019,      // nil, no value
  RTT = 5021,        // T, no value
  RTBINXD = 1002,    // bytes (rbinary)
  RTBINARY = 1004,   // bytes (rbinary); the kind modules create
};

// One node of a LISP value chain. A list is written flat: RTLB, the
// elements, RTLE; a dotted pair (a . b) as RTLB a RTDOTE b RTLE. A list of
// exactly two or three reals travels as one RTPOINT or RT3DPOINT node.
//
// Memory: nodes come from kel_newrb and go back through kel_relrb, which
// frees the node with the C library's free() and, for RTSTR nodes, rstring,
// and for byte nodes, rbinary.buf. Texts and byte buffers stored in a node
// must therefore be allocated with malloc, calloc or strdup.
struct resbuf {
  struct resbuf* rbnext;  // next node, or null at the end of the chain
  int16_t restype;        // one of the type codes above
  union {
    double rreal;
    double rpoint[3];
    int16_t rint;
    int32_t rlong;
    char* rstring;
    int32_t rlname[2];
    struct {
      int32_t clen;
      char* buf;
    } rbinary;
  } resval;
};

// Defines (or redefines) the LISP function `name` (case-insensitive) for the
// module whose entry point is running; a later call of it reaches that
// module's entry point with message 5 and `code` as the function code.
// Answers RTNORM, or RTERROR when no module entry point is running or the
// name is null or empty.
int kel_defun(const char* name, int16_t code);

// Removes the definition made by kel_defun(name, code) for the running
// module; a symbol that has been given another value since is left alone.
// Answers RTNORM, or RTERROR when there was no such definition.
int kel_undef(const char* name, int16_t code);

// The function code of the call in progress, or -1 outside a call.
int kel_getfuncode(void);

// The arguments of the call in progress as a chain, or null when the call
// has none or no call is in progress. The chain belongs to the host and is
// valid until the entry point returns; copy what must outlive the call.
struct resbuf* kel_getargs(void);

// Set the result of the call in progress: T, nil, an integer, a real or a
// string (copied). A later kel_ret* replaces an earlier one; a call that sets
// none returns nil. Each answers RTNORM, or RTERROR outside a call or (for
// kel_retstr) when text is null.
int kel_rett(void);
int kel_retnil(void);
int kel_retint(int32_t value);
int kel_retreal(double value);
int kel_retstr(const char* text);

// Sets the result of the call in progress from a chain, which the caller
// keeps. A chain that is exactly one list (RTLB ... RTLE) gives that list;
// any other chain gives the list of its items. Points become lists of reals,
// RTSHORT and RTLONG integers, byte nodes strings and RTENAME a list of its
// two integers. Answers RTNORM; RTERROR outside a call, for a null chain, or
// for a malformed chain (unbalanced RTLB/RTLE, misplaced RTDOTE, an unknown
// type code), in which case the result is left unchanged.
int kel_retlist(const struct resbuf* chain);

// Makes the call in progress fail with `text` as its LISP error message
// (catchable with catch-error), whatever status the entry point returns.
// During a load or unload message the text becomes part of the host's
// report. Answers RTNORM, or RTERROR when nothing is in progress.
int kel_fail(const char* text);

// A new zero-filled node of the given type with a null rbnext, or null when
// memory is exhausted. Release it with kel_relrb.
struct resbuf* kel_newrb(int type);

// Releases a whole chain: every node, with the texts of RTSTR nodes and the
// bytes of byte nodes (see the memory note above). A null chain is ignored.
// Answers RTNORM.
int kel_relrb(struct resbuf* chain);

// The value of the host environment variable `name`, or `fallback` when the
// variable is unset or name is null. The pointer is borrowed: it stays valid
// until the environment changes. Modules may call it with two nulls to check
// for the interface; that answers null.
const char* kel_agetenv(const char* name, const char* fallback);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // ZQLHOST_KEL_H
