#include "campaign/store/analysis_columns.h"

namespace qavrel::campaign {

namespace {

void text_or_null(Query& insert, int index, const std::string& text) {
  if (text.empty())
    insert.bind_null(index);
  else
    insert.bind_text(index, text);
}

// The worst channel is known once ratios came from a complete pedestal window.
bool has_worst(const Analysis& analysis) { return analysis.has_data() && analysis.has_ratios; }

// In the order of the table's columns; the list is made once, on first use.
const std::vector<AnalysisColumn>& columns() {
  static const std::vector<AnalysisColumn> list = {
      {"id", "INTEGER PRIMARY KEY", nullptr,
       [](const Query& row, int i, Analysis& a) { a.id = row.integer(i); }},
      {"path", "TEXT NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_text(i, a.path); },
       [](const Query& row, int i, Analysis& a) { a.path = row.text(i); }},
      {"size", "INTEGER NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.size); },
       [](const Query& row, int i, Analysis& a) { a.size = row.integer(i); }},
      {"mtime_ns", "INTEGER NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.mtime_ns); },
       [](const Query& row, int i, Analysis& a) { a.mtime_ns = row.integer(i); }},
      {"ctime_ns", "INTEGER",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.ctime_ns); },
       [](const Query& row, int i, Analysis& a) {
         a.ctime_ns = row.is_null(i) ? -1 : row.integer(i);
       }},
      {"chip", "TEXT NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_text(i, a.chip); },
       [](const Query& row, int i, Analysis& a) { a.chip = row.text(i); }},
      {"config", "TEXT NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_text(i, a.config); },
       [](const Query& row, int i, Analysis& a) { a.config = row.text(i); }},
      // The pulsed parity; NULL when the configuration names none. The
      // ratios were computed exactly when it is known.
      {"parity", "TEXT",
       [](Query& insert, int i, const Analysis& a) {
         if (a.parity)
           insert.bind_text(i, qavrel::parity_name(*a.parity));
         else
           insert.bind_null(i);
       },
       [](const Query& row, int i, Analysis& a) {
         if (!row.is_null(i)) a.parity = qavrel::parity_named_in(row.text(i));
         a.has_ratios = a.parity.has_value();
       }},
      {"status", "TEXT NOT NULL CHECK (status IN ('ok', 'failed'))",
       [](Query& insert, int i, const Analysis& a) { insert.bind_text(i, a.ok ? "ok" : "failed"); },
       [](const Query& row, int i, Analysis& a) { a.ok = row.text(i) == "ok"; }},
      {"failure", "TEXT CHECK (failure IN ('open', 'read', 'parity', 'log'))",
       [](Query& insert, int i, const Analysis& a) {
         if (a.failure == Failure::none)
           insert.bind_null(i);
         else
           insert.bind_text(i, failure_name(a.failure));
       },
       [](const Query& row, int i, Analysis& a) { a.failure = failure_named(row.text(i)); }},
      {"error", "TEXT",
       [](Query& insert, int i, const Analysis& a) { text_or_null(insert, i, a.error); },
       [](const Query& row, int i, Analysis& a) { a.error = row.text(i); }},
      {"marker_found", "INTEGER NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.marker_found); },
       [](const Query& row, int i, Analysis& a) { a.marker_found = row.integer(i) != 0; }},
      {"complete_trains", "INTEGER NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.complete_trains()); },
       nullptr},
      {"cut_train_rows", "INTEGER NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.cut_train_rows()); },
       nullptr},
      {"train_rows", "INTEGER NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.train_rows); },
       [](const Query& row, int i, Analysis& a) { a.train_rows = row.integer(i); }},
      {"rows_read", "INTEGER NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.rows_read); },
       [](const Query& row, int i, Analysis& a) { a.rows_read = row.integer(i); }},
      {"input_end", "TEXT NOT NULL CHECK (input_end IN ('end of file', 'token'))",
       [](Query& insert, int i, const Analysis& a) {
         insert.bind_text(i, a.ended_on_token ? "token" : "end of file");
       },
       [](const Query& row, int i, Analysis& a) { a.ended_on_token = row.text(i) == "token"; }},
      {"token_offset", "INTEGER",
       [](Query& insert, int i, const Analysis& a) {
         if (a.ended_on_token)
           insert.bind_integer(i, a.token_offset);
         else
           insert.bind_null(i);
       },
       [](const Query& row, int i, Analysis& a) { a.token_offset = row.integer(i); }},
      {"log_path", "TEXT NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_text(i, a.log_path()); }, nullptr},
      {"log_written", "INTEGER NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_integer(i, a.log_written); },
       [](const Query& row, int i, Analysis& a) { a.log_written = row.integer(i) != 0; }},
      // The worst channel by its number on the chip; the analysis keeps its
      // column among the observed ones, which alternate.
      {"worst_channel", "INTEGER",
       [](Query& insert, int i, const Analysis& a) {
         if (has_worst(a))
           insert.bind_integer(i, a.worst_channel_number());
         else
           insert.bind_null(i);
       },
       [](const Query& row, int i, Analysis& a) {
         a.worst.column = static_cast<int>(row.integer(i) / 2);
       }},
      {"worst_abs_mean_ratio", "REAL",
       [](Query& insert, int i, const Analysis& a) {
         if (has_worst(a))
           insert.bind_real(i, a.worst.abs_mean);
         else
           insert.bind_null(i);
       },
       [](const Query& row, int i, Analysis& a) { a.worst.abs_mean = row.real(i); }},
      {"worst_standard_error", "REAL",
       [](Query& insert, int i, const Analysis& a) {
         if (has_worst(a))
           insert.bind_real(i, a.worst.standard_error);
         else
           insert.bind_null(i);
       },
       [](const Query& row, int i, Analysis& a) { a.worst.standard_error = row.real(i); }},
      {"tool_version", "TEXT NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_text(i, a.tool_version); },
       [](const Query& row, int i, Analysis& a) { a.tool_version = row.text(i); }},
      {"analysed_at", "TEXT NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_text(i, a.analysed_at); },
       [](const Query& row, int i, Analysis& a) { a.analysed_at = row.text(i); }},
      // The log's state just after this analysis wrote it; NULL when it wrote none.
      {"log_size", "INTEGER",
       [](Query& insert, int i, const Analysis& a) {
         if (a.log.size >= 0)
           insert.bind_integer(i, a.log.size);
         else
           insert.bind_null(i);
       },
       [](const Query& row, int i, Analysis& a) {
         a.log.size = row.is_null(i) ? -1 : row.integer(i);
       }},
      {"log_mtime_ns", "INTEGER",
       [](Query& insert, int i, const Analysis& a) {
         if (a.log.size >= 0)
           insert.bind_integer(i, a.log.mtime_ns);
         else
           insert.bind_null(i);
       },
       [](const Query& row, int i, Analysis& a) {
         a.log.mtime_ns = row.is_null(i) ? -1 : row.integer(i);
       }},
      {"log_ctime_ns", "INTEGER",
       [](Query& insert, int i, const Analysis& a) {
         if (a.log.size >= 0)
           insert.bind_integer(i, a.log.ctime_ns);
         else
           insert.bind_null(i);
       },
       [](const Query& row, int i, Analysis& a) {
         a.log.ctime_ns = row.is_null(i) ? -1 : row.integer(i);
       }},
      // The bench that analysed the file; with its path, what the file is
      // known by.
      {"bench", "TEXT NOT NULL",
       [](Query& insert, int i, const Analysis& a) { insert.bind_text(i, a.bench); },
       [](const Query& row, int i, Analysis& a) { a.bench = row.text(i); }},
  };
  return list;
}

std::string names(bool with_id, const char* prefix = "") {
  std::string list;
  for (const AnalysisColumn& column : columns()) {
    if (column.bind == nullptr && !with_id) continue;
    list += list.empty() ? "" : ", ";
    list += prefix;
    list += column.name;
  }
  return list;
}

}  // namespace

const std::vector<AnalysisColumn>& analysis_columns() { return columns(); }

std::string create_analyses_sql() {
  std::string sql = "CREATE TABLE analyses (";
  for (const AnalysisColumn& column : columns())
    sql += std::string(&column == &columns().front() ? "\n  " : ",\n  ") + column.name + " " +
           column.type;
  return sql + "\n)";
}

std::string insert_analysis_sql() {
  std::string values;
  for (const AnalysisColumn& column : columns())
    if (column.bind != nullptr) values += values.empty() ? "?" : ", ?";
  return "INSERT INTO analyses (" + names(false) + ") VALUES (" + values + ")";
}

std::string select_analyses_sql(const std::string& more_columns) {
  return "SELECT " + names(true, "a.") + (more_columns.empty() ? "" : ", ") + more_columns +
         " FROM analyses AS a";
}

void bind_analysis(Query& insert, const Analysis& analysis) {
  int index = 1;
  for (const AnalysisColumn& column : columns())
    if (column.bind != nullptr) column.bind(insert, index++, analysis);
}

Analysis read_analysis(const Query& row) {
  Analysis analysis;
  const std::vector<AnalysisColumn>& list = columns();
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].read != nullptr) list[i].read(row, static_cast<int>(i), analysis);
  return analysis;
}

}  // namespace qavrel::campaign
