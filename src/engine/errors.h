// Errors of the database engine.
//
// Every engine failure is an EngineError with a code from the list below and a message meant for
// the user. Codes are stable: callers and stored logs compare them.
#pragma once

#include <stdexcept>
#include <string>

namespace tikora::engine {

enum ErrorCode : int {
  // Damage: OpenTable repairs the table and opens it again.
  kErrCorruptHeader = 8961,
  kErrCorruptData = 8962,
  kErrCorruptIndex = 8965,
  kErrCorruptBlob = 8966,
  kErrReadWrite = 8967,
  // The file was written by an older engine format: OpenTable converts it and opens it again.
  kErrOldFormat = 9730,
  // Other failures.
  kErrFileNotFound = 11010,
  kErrAccessDenied = 11013,     // the table is open elsewhere and an exclusive open was asked
  kErrNotATableFile = 11014,
  kErrRecordLocked = 10258,     // the file stayed busy past the timeout
  kErrRecordChanged = 8708,     // the row changed since it was read ("record changed by another user")
  kErrRecordDeleted = 8709,     // the row was deleted since it was read
  kErrKeyViolation = 9729,      // a unique index or the primary key would hold a duplicate
  kErrRequiredField = 9732,     // a required field is empty
  kErrValueOutOfRange = 9733,   // a value does not fit its field (word out of 0..65535, bad date)
  kErrFieldNotFound = 9734,
  kErrIndexNotFound = 9735,
  kErrNotEditing = 9736,        // post or cancel without edit or insert
  kErrReadOnly = 9737,          // a read-only table or a read-only query result was edited
  kErrTableClosed = 9738,
  kErrNoCurrentRecord = 9739,
  kErrSqlSyntax = 11949,        // a statement or filter text the engine cannot translate
  kErrSqlExecution = 11950,     // SQLite refused a translated statement
  kErrTransaction = 11951,      // transaction misuse (nested start, commit without start, ...)
  kErrVetoed = 11952,           // an event handler refused the change
  kErrAborted = 11953,          // an edit-error handler chose abort
  kErrInternal = 11999,
};

class EngineError : public std::runtime_error {
 public:
  EngineError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const noexcept { return code_; }

 private:
  int code_;
};

// True for the codes after which OpenTable repairs the table.
inline bool IsDamageError(int code) {
  return code == kErrCorruptHeader || code == kErrCorruptData || code == kErrCorruptIndex ||
         code == kErrCorruptBlob || code == kErrReadWrite;
}

}  // namespace tikora::engine
