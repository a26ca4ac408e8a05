#include "admin/archive_moves.h"

#include "admin/data_module.h"
#include "core/language.h"
#include "core/text_helpers.h"
#include "engine/errors.h"

namespace tikora::admin {
namespace {

using engine::Table;

// Runs `body` in a transaction over both tables; on error rolls back and shows the message.
template <typename F>
MoveOutcome InTransaction(Table& source, Table& destination, Prompter& prompter, F&& body) {
  MoveOutcome outcome;
  engine::Database& db = source.database();
  try {
    db.StartTransaction({source.Schema(), destination.Schema()});
    outcome.moved = body();
    db.Commit();
  } catch (const std::exception& e) {
    if (source.state() == engine::TableState::Edit || source.state() == engine::TableState::Insert)
      source.Cancel();
    if (destination.state() == engine::TableState::Insert ||
        destination.state() == engine::TableState::Edit)
      destination.Cancel();
    if (db.InTransaction()) db.Rollback();
    outcome = {false, 0, e.what()};
    prompter.Show(e.what(), "Error", MessageKind::Error);
  }
  return outcome;
}

}  // namespace

Table& ArchiveSwitch::Source(TDM& dm) const {
  return unarchive_ ? dm.tblArchive() : dm.tblHist();
}
Table& ArchiveSwitch::Destination(TDM& dm) const {
  return unarchive_ ? dm.tblHist() : dm.tblArchive();
}

ArchiveDates ProposedArchiveDates(DateTime today) {
  const DateTime day = DatePart(today);
  return {DateTime(day.days - 730), DateTime(day.days - 365)};
}

std::string ArchiveFilter(DateTime from, DateTime to, const std::string& previous) {
  std::string text = "([Start Time] >= '" + IsoDate(DatePart(from)) + "') AND ([Start Time] <= '" +
                     IsoDate(DatePart(to)) + "'";
  if (previous.empty()) return text + ")";
  return text + ") AND " + previous;
}

void CopyTimeRecord(const Table& source, Table& destination) {
  destination.Append();
  const auto& fields = source.Definition().fields;
  for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
    const engine::FieldDef& f = fields[static_cast<std::size_t>(i)];
    if (f.type == engine::FieldType::AutoInc) continue;
    const engine::FieldDef* target = destination.Definition().FindField(f.name);
    if (target == nullptr || target->type == engine::FieldType::AutoInc) continue;
    destination.SetFieldValue(f.name, source.FieldValue(i));
  }
  destination.Post();
}

MoveOutcome MoveByDateRange(Table& source, Table& destination, DateTime from, DateTime to,
                            Prompter& prompter) {
  const std::string previous = source.Filtered() ? source.Filter() : std::string();
  MoveOutcome outcome = InTransaction(source, destination, prompter, [&]() -> std::int64_t {
    source.Close();
    source.SetFilter(ArchiveFilter(from, to, previous));
    source.SetFiltered(true);
    source.Open();
    source.First();
    std::int64_t moved = 0;
    while (!source.IsEmpty()) {
      CopyTimeRecord(source, destination);
      source.Delete();
      ++moved;
      if (source.Eof()) source.First();
    }
    return moved;
  });
  // The filter is put back on the open table: a closed table keeps its translated filter when
  // the text is cleared before Open.
  source.Close();
  source.Open();
  source.SetFilter(destination.Filter());
  source.SetFiltered(destination.Filtered());
  destination.Refresh();
  return outcome;
}

MoveOutcome MoveSelected(Table& source, Table& destination,
                         const std::vector<engine::Bookmark>& rows, Prompter& prompter) {
  if (rows.empty()) return {};
  MoveOutcome outcome = InTransaction(source, destination, prompter, [&]() -> std::int64_t {
    std::int64_t moved = 0;
    for (engine::Bookmark b : rows) {
      source.GotoBookmark(b);
      CopyTimeRecord(source, destination);
      source.Delete();
      ++moved;
    }
    return moved;
  });
  source.Refresh();
  destination.Refresh();
  return outcome;
}

bool ConfirmMoveSelected(bool unarchive, Prompter& prompter) {
  const std::string text = TranslateMessage(unarchive ? "Unarchive" : "Archive") + " " +
                           TranslateMessage("selected records?");
  return prompter.Ask(text, "Confirm", Buttons::OkCancel) == Answer::Ok;
}

}  // namespace tikora::admin
