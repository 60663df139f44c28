// The statement layer: every statement of store_sql.h, prepared on first
// use on the memory's connection, and the few ways the store runs one.
//
// Values reach SQL only as bound parameters (an integer or a text each).
// Every call resets the statement before it returns, so none is ever left
// mid-result holding a read transaction, and turns SQLite's failures into an
// Error that names the memory file (MemoryFile::Guard).
#ifndef QUIBBO_ENGINE_ROWS_STATEMENTS_H_
#define QUIBBO_ENGINE_ROWS_STATEMENTS_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/file/memory_file.h"
#include "engine/file/sqlite.h"

namespace quibbo {

class Statements {
 public:
  explicit Statements(MemoryFile& file);
  ~Statements();
  Statements(const Statements&) = delete;
  Statements& operator=(const Statements&) = delete;

  // A value to bind: an id, a position or a count; or a word, where an
  // unset one binds Null (a missing neighbour).
  using Value = std::variant<int64_t, std::optional<std::string_view>>;

  // Runs statement `which`, which returns no rows.
  void Run(int which, std::initializer_list<Value> values = {});
  // The first column of the first row statement `which` returns; unset when
  // it returns no row, or Null there.
  std::optional<int64_t> Id(int which,
                            std::initializer_list<Value> values = {});
  // The same, 0 for no row or Null: for a count.
  int64_t Number(int which, std::initializer_list<Value> values = {});
  // The first column of every row, in the statement's order.
  std::vector<int64_t> Ids(int which, std::initializer_list<Value> values = {});
  // Calls `each` with the statement stepped to each of its rows in turn.
  void ForEachRow(int which, std::initializer_list<Value> values,
                  const std::function<void(const sqlite::Statement&)>& each);
  // Steps statement `which` to its first row, if any, and calls `read` on
  // it; unset when there is none.
  template <typename Read>
  auto FirstRow(int which, std::initializer_list<Value> values, Read&& read)
      -> std::optional<decltype(read(std::declval<sqlite::Statement&>()))> {
    return file_.Guard([&]() -> std::optional<decltype(read(
                                 std::declval<sqlite::Statement&>()))> {
      sqlite::Statement& statement = Prepared(which);
      sqlite::ScopedReset scope(statement);
      Bind(statement, values);
      if (!statement.Step()) return std::nullopt;
      return read(statement);
    });
  }

  // Statement `which`, prepared, for a caller that binds and steps it
  // itself inside MemoryFile::Guard, under a ScopedReset.
  sqlite::Statement& Prepared(int which);

 private:
  // Binds `values` to `statement` from parameter 1 on.
  static void Bind(sqlite::Statement& statement,
                   std::initializer_list<Value> values);

  MemoryFile& file_;
  std::vector<std::unique_ptr<sqlite::Statement>> prepared_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_ROWS_STATEMENTS_H_
