// zqlio.h - the library's file layer: C-string path helpers, CZqlFile (an
// open file with byte-range locks that wait up to a time-out) and CZqlDirMisc
// (file lookups, access tests, rename and delete, directory listings).
//
// Paths are 8-bit strings of at most kZqlMaxPath - 1 characters; every
// buffer a helper writes into must hold kZqlMaxPath bytes. CZqlUcStr
// arguments are converted to 8-bit text in the default character set first.
//
// "Raises" below means: the code goes to the caller's innermost open try
// frame or exception handler; with neither open the operation takes the
// raise itself (ZqlEntry, zqltry.h) and answers the failure value named. Operating-system failures
// first record the system error (ZqlGenOsError) and then raise 0xB022
// "Operating System error"; an operation on a closed file raises 0xA00C.
#ifndef ZQL_ZQLIO_H
#define ZQL_ZQLIO_H

#include <cstddef>
#include <cstdint>

#include "zqlclass.h"

ZQL_PUBLIC_BEGIN

// Size of every path buffer, terminator included.
constexpr int kZqlMaxPath = 1024;

// ---------------------------------------------------------------------------
// Path helpers. They work in place on a caller's buffer of kZqlMaxPath bytes
// and never raise.
// ---------------------------------------------------------------------------

// The home directory into buffer: $HOME, else the home of the account named
// by $USER, else that of the process's user id, else "". Answers buffer.
char* ZqlGetHomeDir(char* buffer);
// Pointer to the part of path after its last '/' (path itself without one).
char* ZqlFileBasename(char* path);
// Cuts path just after its last '/' (the '/' stays) and answers path; a path
// without '/' becomes ".".
char* ZqlFileDirname(char* path);
// Replaces the references to environment variables in path: a '$' at the
// start or after a '/' (or "$$" there), followed by a name of letters,
// digits and '_' or by a name in braces, gives way to the variable's value
// (nothing when unset). Values are themselves substituted, at most 32 times
// in all; the result is cut at kZqlMaxPath - 1 characters. Answers path.
char* ZqlSubstituteInFileName(char* path);
// Turns path into an absolute, normalised path: "//" restarts at the second
// '/', "/~" at the '~'; "~" and "~user" stand for home directories; relative
// paths start at the current directory; "." segments go, ".." removes the
// segment before it (never above the root), repeated '/' collapse. Answers
// path, or null for "~user" with an unknown user (path then unchanged).
char* ZqlExpandFileName(char* path);
// Tests on a substituted and expanded copy of path: a directory; exists;
// readable; writable (the file, or its directory when it does not exist).
// Answer 1 or 0; a null path gives 0.
int ZqlFileDirectoryP(const char* path);
int ZqlFileExistsP(const char* path);
int ZqlFileReadableP(const char* path);
int ZqlFileWritableP(const char* path);
// Searches name in the directories of the list (separated by runs of spaces,
// tabs, ';' and ':'): the first directory/name that exists and is not a
// directory is copied into result (kZqlMaxPath bytes) and 1 answered. A null
// or empty list, a null name or no hit answers 0 (result then "").
int ZqlFindFile(const char* directories, const char* name, char* result);

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

// Modification time of a file: word 0 the seconds since the epoch, word 1
// the nanoseconds within that second, so that two changes within one second
// still differ.
struct SZqlFileTime {
  uint32_t words[2];
};

inline bool operator==(const SZqlFileTime& a, const SZqlFileTime& b) {
  return a.words[0] == b.words[0] && a.words[1] == b.words[1];
}
inline bool operator!=(const SZqlFileTime& a, const SZqlFileTime& b) { return !(a == b); }

// One byte range of a lock group.
struct SZqlLockGroup {
  uint32_t offset;
  uint32_t length;
};

enum EZqlFileSeekFrom : int {
  kZqlSeekSet = 0,  // from the start
  kZqlSeekCur = 1,  // from the current position
  kZqlSeekEnd = 2,  // from the end
};

enum EZqlFileAccess : int {
  kZqlAccessExist = 0,
  kZqlAccessRead = 1,
  kZqlAccessReadWrite = 2,
};

// Open modes of CZqlFile::Open; without kZqlFileReadWrite a file is opened
// for reading only.
constexpr int kZqlFileReadWrite = 2;
constexpr int kZqlFileCreate = 4;  // creates the file, emptying an existing one
constexpr int kZqlFileCreateKeep = 8;  // creates a missing file, keeps an existing one
// Lock time-out limits and default, in seconds.
constexpr int kZqlLockTimeOutMin = 1;
constexpr int kZqlLockTimeOutMax = 600;
constexpr int kZqlLockTimeOutDefault = 30;

struct SZqlFileRecord;

// An open file. Closed at construction and by the destructor.
class CZqlFile : public CZqlObject {
 public:
  CZqlFile();
  ~CZqlFile() override;
  CZqlFile(const CZqlFile&) = delete;
  CZqlFile& operator=(const CZqlFile&) = delete;

  // Opens path (used as given) with the mode bits above; always
  // non-blocking; a created file gets 0777 less the process's mask. Answers
  // 1; an open file raises 0xA00C, a failing open 0xB022 (answer 0).
  int Open(const CZqlUcStr& path, int mode);
  int Open(const char* path, int mode);
  // Closes the file; answers 1 (0 when it was not open; never raises).
  int Close();
  int IsOpen() const { return rec_ != nullptr ? 1 : 0; }

  // Reads up to n bytes at the current position; answers the bytes read (0
  // at the end). Raises as described at the top (answer -1).
  int Read(void* buf, unsigned int n);
  // As Read, storing the count in *got (when not null); answers 1 or 0.
  int Read(void* buf, unsigned int n, unsigned int* got);
  // Writes all n bytes; answers n, or -1 after a raise.
  int Write(const void* buf, unsigned int n);
  // Moves the position; answers 1 or 0.
  int SetSeek(int64_t offset, EZqlFileSeekFrom from);
  int SetSeek(int64_t offset);
  // The current position into *pos; answers 1 or 0.
  int GetSeek(int64_t* pos);
  // The file's size in bytes, or -1 after a raise.
  int64_t Size();
  // Cuts or extends the file to size bytes; answers 1 or 0.
  int Truncate(int64_t size);

  // The next line, converted from the default character set. The first
  // call reads the whole file into memory and drops a control character (1
  // to 31) that is its last byte; each call answers the text up to the next
  // '\n' or '\r' and consumes all the line terminators that follow, so
  // empty lines never come back. With no text left (and for an empty file)
  // line is emptied and 0xA014 "EOF found" raised. Answers 1, or 0 after a
  // raise.
  int ReadString(CZqlUcStr* line);
  // As ReadString, but the line's bytes unconverted: *text points into the
  // file's buffer (valid until the next read or Close), *length is its byte
  // count; the text is not terminated.
  int ReadLine(const char** text, int* length);
  // Writes s in the default character set followed by '\n'; answers 1 or 0.
  int WriteString(const CZqlUcStr& s);

  // Exclusive lock (or its release) of length bytes at offset, waiting up to
  // the time-out while another process holds any part of the range; then
  // raises 0xA017 "Table is locked by another cursor". A file open for
  // reading only takes a shared lock instead, which excludes only the
  // exclusive ones. Answer 1 or 0.
  int Lock(uint32_t offset, uint32_t length);
  int Unlock(uint32_t offset, uint32_t length);
  // The same for count ranges: a busy range releases the ranges taken and
  // starts again with the first one; count < 1 or a null group raises
  // 0xA00B.
  int Lock(const SZqlLockGroup* groups, int count);
  int Unlock(const SZqlLockGroup* groups, int count);
  // A literal 0 as offset would otherwise pick the group forms above; write
  // 0u instead.
  int Lock(std::nullptr_t, int) = delete;
  int Unlock(std::nullptr_t, int) = delete;
  // length bytes at the current position.
  int Lock(uint32_t length);
  int Unlock(uint32_t length);
  // Lock time-out in seconds, clamped to 1..600 (30 when opened).
  void SetTimeOut(int seconds);
  int TimeOut() const;

  int isCanRead() const;       // open (for reading, or reading and writing)
  int isCanReadWrite() const;  // open for reading and writing
  // The open file's modification time (fstat); answers 1 or 0.
  int LastAccess(SZqlFileTime* time);
  // The path given to Open, "" when closed. Valid until Close.
  const char* Path() const;

 private:
  int lockOne(uint32_t offset, uint32_t length, bool lock);
  int lockGroup(const SZqlLockGroup* groups, int count, bool lock);
  int loadLines();

  SZqlFileRecord* rec_;  // owned; null when closed
};

// File lookups, access tests and a directory listing.
struct SZqlDirListing;

class CZqlDirMisc : public CZqlObject {
 public:
  CZqlDirMisc();
  ~CZqlDirMisc() override;
  CZqlDirMisc(const CZqlDirMisc&) = delete;
  CZqlDirMisc& operator=(const CZqlDirMisc&) = delete;

  // Locates a file: the name itself when it names an existing file (after
  // substitution and expansion), else along ZqlSysPath(), $ZQL, $KOVA and
  // $PATH in this order (ZqlFindFile); the path found is substituted and
  // expanded. Answers 1 with the path, or 0. A null or empty name or a null
  // output raises 0xA00B; a result longer than size - 1 answers 0 (size is
  // kZqlMaxPath for the CZqlUcStr form).
  int Find(const CZqlUcStr& name, CZqlUcStr* path);
  int Find(const char* name, char* path, int size);
  // The substituted and expanded path of an existing file, with '/' added
  // for a directory. A missing file raises 0xB022 (answer 0).
  int Path(const CZqlUcStr& name, CZqlUcStr* path);
  // 1 when the (substituted and expanded) path exists / is readable / is
  // readable and writable, else 0.
  int Access(const CZqlUcStr& path, EZqlFileAccess mode);
  int isExist(const CZqlUcStr& path) { return Access(path, kZqlAccessExist); }
  int isCanRead(const CZqlUcStr& path) { return Access(path, kZqlAccessRead); }
  int isCanReadWrite(const CZqlUcStr& path) { return Access(path, kZqlAccessReadWrite); }
  // Removes the substituted and expanded file; answers 1, raises 0xB022.
  int Unlink(const CZqlUcStr& path);
  // Renames (paths used unchanged); answers 1, raises 0xB022.
  int Rename(const CZqlUcStr& from, const CZqlUcStr& to);
  // The file's modification time; answers 1, or 0 when it cannot be had.
  int LastAccess(const CZqlUcStr& path, SZqlFileTime* time);
  int LastAccess(const char* path, SZqlFileTime* time);

  // Opens a listing of directory ("" means "."; substituted and expanded)
  // with the extension filter (at most 15 characters kept), closing an open
  // one. Answers 1, or 0 after recording the system error.
  int FileListOpen(const CZqlUcStr& directory, const CZqlUcStr& extension);
  // The next entry except "." and "..": with an empty filter every name as
  // it is; with a filter only names whose text after the last '.' equals it
  // exactly, without that extension. At the end name is emptied and 0
  // answered. A null name raises 0xA00B.
  int FileListRead(CZqlUcStr* name);
  int DirListRead(CZqlUcStr* name) { return FileListRead(name); }
  void FileListClose();

 private:
  SZqlDirListing* list_;  // owned; null when no listing is open
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLIO_H
