// The columns of the store's analyses table, described once: each one's
// name, its SQL type, how an analysis is bound to it and how it is read
// back. The table's creation, the insert and the select are all made from
// this list, so that they can't disagree on a column's place.
#pragma once

#include <string>
#include <vector>

#include "campaign/model/analysis.h"
#include "campaign/store/database.h"

namespace qavrel::campaign {

struct AnalysisColumn {
  const char* name;
  const char* type;
  // Binds the analysis's value to parameter index; null for the id, which
  // the store gives.
  void (*bind)(Query& insert, int index, const Analysis& analysis);
  // Reads column index of a row into the analysis; null for columns kept
  // for readers of the store that follow from others.
  void (*read)(const Query& row, int index, Analysis& analysis);
};

const std::vector<AnalysisColumn>& analysis_columns();

// "CREATE TABLE analyses (...)", every column with its type.
std::string create_analyses_sql();
// "INSERT INTO analyses (...) VALUES (?, ...)", every column but the id,
// in the order of the list.
std::string insert_analysis_sql();
// "SELECT ... FROM analyses AS a" with every column, in the order of the
// list, then more_columns, for a JOIN or WHERE clause to follow.
std::string select_analyses_sql(const std::string& more_columns = "");

// Binds every column but the id.
void bind_analysis(Query& insert, const Analysis& analysis);
// Reads a row of select_analyses_sql().
Analysis read_analysis(const Query& row);

}  // namespace qavrel::campaign
