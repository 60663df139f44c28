#include "engine/rows/statements.h"

#include "engine/rows/store_sql.h"

namespace quibbo {

using sqlite::Statement;

Statements::Statements(MemoryFile& file)
    : file_(file), prepared_(store_sql::kStatementCount) {}

Statements::~Statements() = default;

Statement& Statements::Prepared(int which) {
  std::unique_ptr<Statement>& slot = prepared_[which];
  if (!slot) {
    slot = std::make_unique<Statement>(file_.connection(),
                                       store_sql::kStatements[which].sql);
  }
  return *slot;
}

void Statements::Bind(Statement& statement,
                      std::initializer_list<Value> values) {
  int index = 1;
  for (const Value& value : values) {
    // Bound without a copy: every caller's values outlive the statement's
    // run, which ends with a reset before the call returns.
    if (const int64_t* number = std::get_if<int64_t>(&value)) {
      statement.Bind(index++, *number);
    } else if (const auto& text = std::get<1>(value)) {
      statement.BindUncopied(index++, *text);
    } else {
      statement.Bind(index++, std::optional<std::string>());
    }
  }
}

void Statements::Run(int which, std::initializer_list<Value> values) {
  file_.Guard([&] {
    Statement& statement = Prepared(which);
    sqlite::ScopedReset scope(statement);
    Bind(statement, values);
    statement.Run();
  });
}

std::optional<int64_t> Statements::Id(int which,
                                      std::initializer_list<Value> values) {
  return file_.Guard([&]() -> std::optional<int64_t> {
    Statement& statement = Prepared(which);
    sqlite::ScopedReset scope(statement);
    Bind(statement, values);
    if (!statement.Step() || statement.ColumnIsNull(0)) return std::nullopt;
    return statement.ColumnInt(0);
  });
}

int64_t Statements::Number(int which, std::initializer_list<Value> values) {
  return Id(which, values).value_or(0);
}

std::vector<int64_t> Statements::Ids(int which,
                                     std::initializer_list<Value> values) {
  std::vector<int64_t> ids;
  ForEachRow(which, values,
             [&](const Statement& row) { ids.push_back(row.ColumnInt(0)); });
  return ids;
}

void Statements::ForEachRow(int which, std::initializer_list<Value> values,
                            const std::function<void(const Statement&)>& each) {
  file_.Guard([&] {
    Statement& statement = Prepared(which);
    sqlite::ScopedReset scope(statement);
    Bind(statement, values);
    while (statement.Step()) each(statement);
  });
}

}  // namespace quibbo
