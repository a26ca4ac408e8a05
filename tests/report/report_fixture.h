// Small definitions and data for the report tests, built in code.
#pragma once

#include <string>
#include <vector>

#include "report/definition.h"
#include "report/report.h"
#include "report/row_source.h"

namespace tikora::report::test {

using engine::Value;

inline ReportObject Text(const std::string& name, double x, double width, const std::string& text,
                         Align align = Align::Left) {
  ReportObject o;
  o.name = name;
  o.x = x;
  o.width = width;
  o.height = 5;
  o.text = text;
  o.align = align;
  return o;
}

inline Band MakeBand(BandType type, double height, std::vector<ReportObject> objects,
                     const std::string& name = {}) {
  Band b;
  b.type = type;
  b.height = height;
  b.name = name;
  b.objects = std::move(objects);
  if (type == BandType::MasterData) b.dataset = kMasterDataSet;
  if (type == BandType::DetailData) b.dataset = kDetailDataSet;
  return b;
}

// Hours per account: three accounts, five rows, in account order.
inline MemoryRowSource HoursByAccount() {
  MemoryRowSource rows({{"Account", FieldKind::Text},
                        {"Hours", FieldKind::Number},
                        {"Note", FieldKind::Text},
                        {"Billable", FieldKind::Logical}});
  rows.AddRow({Value::Text("Alpha"), Value::Float(1.5), Value::Text("design"), Value::Boolean(true)});
  rows.AddRow({Value::Text("Alpha"), Value::Float(2.25), Value(), Value()});
  rows.AddRow({Value::Text("Beta"), Value::Integer(4), Value::Text("build"), Value::Boolean(true)});
  rows.AddRow({Value::Text("Gamma"), Value(), Value::Text("x"), Value::Boolean(false)});
  rows.AddRow({Value::Text("Gamma"), Value::Float(0.5), Value(), Value()});
  return rows;
}

// All texts of a page, in drawing order.
inline std::vector<std::string> PageTexts(const Page& page) {
  std::vector<std::string> out;
  for (const PageItem& i : page.items) {
    if (i.kind == ObjectKind::Text) out.push_back(i.text);
  }
  return out;
}

}  // namespace tikora::report::test
