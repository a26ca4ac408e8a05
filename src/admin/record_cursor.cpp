#include "admin/record_cursor.h"

#include "engine/errors.h"

namespace tikora::admin {

void TableCursor::GoToMark(CursorMark mark) {
  if (t_.IsEmpty()) return;
  if (t_.BookmarkValid(mark)) {
    t_.GotoBookmark(mark);
  } else {
    t_.First();
  }
}

engine::FieldType QueryCursor::FieldType(int i) const {
  return q_.FieldTypeOf(i).value_or(engine::FieldType::String);
}

void QueryCursor::GoToMark(CursorMark mark) {
  q_.First();
  if (mark > 1) q_.MoveBy(static_cast<int>(mark - 1));
}

void QueryCursor::Append() {
  throw engine::EngineError(engine::kErrReadOnly, "Cannot import into a Query");
}

void QueryCursor::Refresh() {
  const CursorMark mark = Mark();
  q_.Close();
  q_.Open();
  GoToMark(mark);
}

}  // namespace tikora::admin
