// The PostgreSQL backend against a real server, started for the suite in
// a temporary folder by tests/support/postgres_server.sh. Skipped when the
// server's programs are missing, unless QAVREL_REQUIRE_ALL is set.
#include "campaign/store/postgres_database.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "campaign/model/analysis.h"
#include "campaign/store/layouts.h"
#include "campaign/store/results_store.h"

namespace {

using namespace qavrel::campaign;
using qavrel::Status;

// Runs the server script with these arguments; its output, and its exit
// code in code.
std::string run_script(const std::string& arguments, int& code) {
  std::string command = "bash '";
  command.append(QAVREL_POSTGRES_SERVER).append("' ").append(arguments);
  FILE* pipe = popen(command.c_str(), "r");  // NOLINT(cert-env33-c): the test's own script
  std::string output;
  if (pipe == nullptr) {
    code = -1;
    return output;
  }
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = pclose(pipe);
  code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

class PostgresDatabaseTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char folder_template[] = "/tmp/qavrel-pg-XXXXXX";
    if (mkdtemp(folder_template) == nullptr) return;
    folder_ = folder_template;
    // The server may run as nobody, who must reach its folder inside.
    chmod(folder_.c_str(), 0711);
    server_url_ = run_script(server_command("start"), start_code_);
  }

  static void TearDownTestSuite() {
    if (folder_.empty()) return;
    int code = 0;
    run_script(server_command("stop", "immediate"), code);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void SetUp() override {
    if (start_code_ == 77 && std::getenv("QAVREL_REQUIRE_ALL") == nullptr)
      GTEST_SKIP() << server_url_;
    ASSERT_EQ(start_code_, 0) << "the test server did not start: " << server_url_;
  }

  static std::string server() { return folder_ + "/pg"; }

  // The script's command for the suite's server, with what follows it.
  static std::string server_command(const char* command, const std::string& rest = "") {
    std::string line = command;
    line.append(" ").append(server()).append(" ").append(rest);
    return line;
  }

  // A connection string to the suite's server.
  static std::string connection(const std::string& user, const std::string& dbname) {
    std::string url = "host=";
    url.append(server()).append(" user=").append(user).append(" ").append(dbname);
    return url;
  }

  // A connection string to a database of its own, made for the test.
  static std::string fresh_database() {
    static int made = 0;
    const std::string name = "store_" + std::to_string(++made);
    std::unique_ptr<Database> admin;
    const Status opened = open_postgres(server_url_, admin);
    EXPECT_TRUE(opened.ok()) << opened.reason();
    if (admin) {
      EXPECT_TRUE(admin->execute("CREATE DATABASE " + name).ok()) << admin->error();
    }
    return connection("qavrel", "dbname=" + name);
  }

  static std::unique_ptr<Database> open(const std::string& url) {
    std::unique_ptr<Database> database;
    const Status opened = open_postgres(url, database);
    EXPECT_TRUE(opened.ok()) << opened.reason();
    return database;
  }

  static std::int64_t count(Database& database, const std::string& sql) {
    std::unique_ptr<Query> query;
    if (!database.prepare(sql, query).ok()) return -1;
    return query->step() == Step::row ? query->integer(0) : -1;
  }

  static std::string folder_;
  static std::string server_url_;
  static int start_code_;
};

std::string PostgresDatabaseTest::folder_;
std::string PostgresDatabaseTest::server_url_;
int PostgresDatabaseTest::start_code_ = -1;

TEST_F(PostgresDatabaseTest, TextComesBackAsTheSameBytes) {
  auto database = open(fresh_database());
  ASSERT_TRUE(database);
  ASSERT_TRUE(database->execute("CREATE TABLE names (id BIGINT, name TEXT)").ok());
  std::string every_byte;
  for (int byte = 1; byte <= 0xFF; ++byte) every_byte += static_cast<char>(byte);
  const std::vector<std::string> texts = {"",
                                          "it's",
                                          "say \"hi\"",
                                          "back\\slash\\",
                                          "two\nlines\tand tab",
                                          "'; DROP TABLE names; --",
                                          "Grüße",
                                          "name-\xE9t\xE9.bin",
                                          "\xC0\xAF overlong",
                                          "\xED\xA0\x80 surrogate",
                                          "\xE2\x82 cut",
                                          "\xF4\x8F\xBF\xA9 genuine U+10FFE9",
                                          every_byte};
  std::unique_ptr<Query> insert;
  ASSERT_TRUE(database->prepare("INSERT INTO names (id, name) VALUES (?, ?)", insert).ok());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    insert->reset();
    insert->bind_integer(1, static_cast<std::int64_t>(i));
    insert->bind_text(2, texts[i]);
    ASSERT_EQ(insert->step(), Step::done) << database->error();
  }
  std::unique_ptr<Query> select;
  ASSERT_TRUE(database->prepare("SELECT name FROM names WHERE id = ?", select).ok());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    select->reset();
    select->bind_integer(1, static_cast<std::int64_t>(i));
    ASSERT_EQ(select->step(), Step::row) << database->error();
    EXPECT_EQ(select->text(0), texts[i]);
    EXPECT_EQ(select->step(), Step::done);
  }
  // Bound text finds the stored text, whatever its bytes.
  std::unique_ptr<Query> by_name;
  ASSERT_TRUE(database->prepare("SELECT id FROM names WHERE name = ?", by_name).ok());
  by_name->bind_text(1, "name-\xE9t\xE9.bin");
  ASSERT_EQ(by_name->step(), Step::row);
  EXPECT_EQ(by_name->integer(0), 7);
}

TEST_F(PostgresDatabaseTest, NumbersComeBackExactly) {
  auto database = open(fresh_database());
  ASSERT_TRUE(database);
  ASSERT_TRUE(
      database->execute("CREATE TABLE numbers (id BIGINT, whole BIGINT, real DOUBLE PRECISION)")
          .ok());
  const std::vector<std::int64_t> integers = {0, -1, std::numeric_limits<std::int64_t>::min(),
                                              std::numeric_limits<std::int64_t>::max(),
                                              1234567890123};
  const double infinity = std::numeric_limits<double>::infinity();
  const std::vector<double> reals = {0.1, 1.0 / 3, -infinity, infinity, 4.9e-324, std::nan("")};
  std::unique_ptr<Query> insert;
  ASSERT_TRUE(
      database->prepare("INSERT INTO numbers (id, whole, real) VALUES (?, ?, ?)", insert).ok());
  for (std::size_t i = 0; i < integers.size() || i < reals.size(); ++i) {
    insert->reset();
    insert->bind_integer(1, static_cast<std::int64_t>(i));
    if (i < integers.size())
      insert->bind_integer(2, integers[i]);
    else
      insert->bind_null(2);
    insert->bind_real(3, i < reals.size() ? reals[i] : 0.0);
    ASSERT_EQ(insert->step(), Step::done);
  }
  std::unique_ptr<Query> select;
  ASSERT_TRUE(database->prepare("SELECT whole, real FROM numbers ORDER BY id", select).ok());
  for (std::size_t i = 0; i < integers.size() || i < reals.size(); ++i) {
    ASSERT_EQ(select->step(), Step::row) << database->error();
    if (i < integers.size())
      EXPECT_EQ(select->integer(0), integers[i]);
    else
      EXPECT_TRUE(select->is_null(0));
    const double expected = i < reals.size() ? reals[i] : 0.0;
    if (std::isnan(expected)) {
      // Not-a-number is stored as NULL, and NULL reads as not-a-number.
      EXPECT_TRUE(select->is_null(1));
      EXPECT_TRUE(std::isnan(select->real(1)));
    } else {
      EXPECT_EQ(select->real(1), expected);
    }
  }
  EXPECT_EQ(select->step(), Step::done);
}

TEST_F(PostgresDatabaseTest, InsertNumbersAddsEveryRow) {
  auto database = open(fresh_database());
  ASSERT_TRUE(database);
  ASSERT_TRUE(database->execute("CREATE TABLE pairs (a BIGINT, b DOUBLE PRECISION)").ok());
  std::vector<NumberColumn> columns = {{"a", false, {}, {}}, {"b", true, {}, {}}};
  for (int i = 0; i < 2500; ++i) {
    columns[0].integers.push_back(i);
    columns[1].reals.push_back(i % 7 == 0 ? std::nan("") : i / 3.0);
  }
  ASSERT_TRUE(database->begin().ok());
  ASSERT_TRUE(database->insert_numbers("pairs", columns).ok());
  EXPECT_TRUE(database->insert_numbers("pairs", {{"a", false, {}, {}}}).ok());
  ASSERT_TRUE(database->commit().ok()) << database->error();
  EXPECT_EQ(count(*database, "SELECT count(*) FROM pairs"), 2500);
  EXPECT_EQ(count(*database, "SELECT count(*) FROM pairs WHERE b IS NULL"), 358);
  std::unique_ptr<Query> row;
  ASSERT_TRUE(database->prepare("SELECT b FROM pairs WHERE a = 2000", row).ok());
  ASSERT_EQ(row->step(), Step::row);
  EXPECT_EQ(row->real(0), 2000 / 3.0);
}

TEST_F(PostgresDatabaseTest, APipelinedFailureSurfacesAtCommitAndLeavesNothing) {
  auto database = open(fresh_database());
  ASSERT_TRUE(database);
  ASSERT_TRUE(database->execute("CREATE TABLE keyed (id BIGINT PRIMARY KEY)").ok());
  std::unique_ptr<Query> insert;
  ASSERT_TRUE(database->prepare("INSERT INTO keyed (id) VALUES (?)", insert).ok());
  ASSERT_TRUE(database->begin().ok());
  for (const int id : {1, 2, 3, 2, 4}) {
    insert->reset();
    insert->bind_integer(1, id);
    // Sent without waiting: the repeated key is not known yet.
    EXPECT_EQ(insert->step(), Step::done);
  }
  const Status committed = database->commit();
  ASSERT_FALSE(committed.ok());
  EXPECT_NE(committed.reason().find("duplicate key"), std::string::npos) << committed.reason();
  EXPECT_EQ(database->error(), committed.reason());
  EXPECT_FALSE(database->in_transaction());
  EXPECT_EQ(count(*database, "SELECT count(*) FROM keyed"), 0);

  // A rollback after a failed pipeline undoes it, and the next one works.
  ASSERT_TRUE(database->begin().ok());
  for (const int id : {5, 5}) {
    insert->reset();
    insert->bind_integer(1, id);
    EXPECT_EQ(insert->step(), Step::done);
  }
  database->rollback();
  EXPECT_FALSE(database->in_transaction());
  ASSERT_TRUE(database->begin().ok());
  insert->reset();
  insert->bind_integer(1, 6);
  EXPECT_EQ(insert->step(), Step::done);
  ASSERT_TRUE(database->commit().ok()) << database->error();
  EXPECT_EQ(count(*database, "SELECT count(*) FROM keyed"), 1);

  // Outside a transaction the failure is told by the next query.
  insert->reset();
  insert->bind_integer(1, 6);
  EXPECT_EQ(insert->step(), Step::done);
  std::unique_ptr<Query> select;
  ASSERT_FALSE(database->prepare("SELECT count(*) FROM keyed", select).ok());
  EXPECT_NE(database->error().find("duplicate key"), std::string::npos);
}

// More statements than are sent before their results are read: a failure
// may be told by a later step rather than at commit, but it is told, and
// nothing stays.
TEST_F(PostgresDatabaseTest, ManySentStatementsAllArriveOrNoneDo) {
  auto database = open(fresh_database());
  ASSERT_TRUE(database);
  ASSERT_TRUE(database->execute("CREATE TABLE keyed (id BIGINT PRIMARY KEY)").ok());
  std::unique_ptr<Query> insert;
  ASSERT_TRUE(database->prepare("INSERT INTO keyed (id) VALUES (?)", insert).ok());
  // Every failure told, the commit's last.
  const auto insert_all = [&](int repeated) {
    std::string told;
    EXPECT_TRUE(database->begin().ok());
    for (int id = 0; id < 2500; ++id) {
      insert->reset();
      insert->bind_integer(1, id == repeated ? 0 : id);
      if (insert->step() == Step::failed) told.append(database->error()).append("\n");
    }
    const Status committed = database->commit();
    return committed.ok() ? told : told.append(committed.reason());
  };
  for (const int repeated : {1500, 2100}) {
    EXPECT_NE(insert_all(repeated).find("duplicate key"), std::string::npos) << repeated;
    EXPECT_EQ(count(*database, "SELECT count(*) FROM keyed"), 0);
  }
  EXPECT_EQ(insert_all(-1), "");
  EXPECT_EQ(count(*database, "SELECT count(*) FROM keyed"), 2500);
}

TEST_F(PostgresDatabaseTest, TwoOpeningAtOnceCreateTheLayoutOnce) {
  const std::string url = fresh_database();
  std::unique_ptr<Database> first;
  std::unique_ptr<Database> second;
  Status first_opened;
  Status second_opened;
  std::thread other([&] { first_opened = open_postgres(url, first); });
  second_opened = open_postgres(url, second);
  other.join();
  ASSERT_TRUE(first_opened.ok()) << first_opened.reason();
  ASSERT_TRUE(second_opened.ok()) << second_opened.reason();
  EXPECT_EQ(count(*first, "SELECT count(*) FROM store_layout"), 1);
  EXPECT_EQ(count(*first, "SELECT max(layout) FROM store_layout"), current_layout);
  // The tables are all there, in schema qavrel_campaign.
  EXPECT_EQ(count(*second,
                  "SELECT count(*) FROM pg_tables WHERE schemaname = 'qavrel_campaign' AND "
                  "tablename IN ('analyses', 'ratios', 'channel_means', 'data_files', "
                  "'output_files', 'store_layout', 'grade_limits')"),
            7);
  EXPECT_EQ(count(*second, "SELECT count(*) FROM pg_views WHERE schemaname = 'qavrel_campaign'"),
            3);
}

TEST_F(PostgresDatabaseTest, ANewerLayoutIsRefusedNamingBothVersions) {
  const std::string url = fresh_database();
  {
    auto database = open(url);
    ASSERT_TRUE(database);
    ASSERT_TRUE(database->execute("INSERT INTO store_layout VALUES (99, '9.9.9')").ok());
  }
  std::unique_ptr<Database> database;
  const Status opened = open_postgres(url, database);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.reason(),
            "it was made by qavrel-campaign 9.9.9 (store layout 99); this is "
            "qavrel-campaign " +
                std::string(tool_version) + ", which reads store layouts up to " +
                std::to_string(current_layout));
}

TEST_F(PostgresDatabaseTest, ABenchLockKeepsOutRunsOfThatBenchOnly) {
  const std::string url = fresh_database();
  auto holder = open(url);
  auto other = open(url);
  ASSERT_TRUE(holder && other);
  ASSERT_TRUE(holder->lock_bench("bench \xE9 one", 0).ok()) << holder->error();
  const auto start = std::chrono::steady_clock::now();
  const Status refused = other->lock_bench("bench \xE9 one", 300);
  const auto waited = std::chrono::steady_clock::now() - start;
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.reason(), "another run of bench bench \xE9 one holds it");
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_TRUE(other->lock_bench("bench two", 0).ok());
  // Closing the store lets the next run in.
  holder.reset();
  EXPECT_TRUE(other->lock_bench("bench \xE9 one", 5000).ok()) << other->error();
}

TEST_F(PostgresDatabaseTest, WritingIsRefusedWhenTheSessionOrTheUserMayNot) {
  const std::string url = fresh_database();
  auto database = open(url);
  ASSERT_TRUE(database);
  EXPECT_TRUE(database->check_writable().ok()) << database->error();
  ASSERT_TRUE(database->execute("CREATE ROLE reader LOGIN").ok() ||
              database->execute("SELECT 1").ok());
  ASSERT_TRUE(database
                  ->execute("GRANT USAGE ON SCHEMA qavrel_campaign TO reader;"
                            "GRANT SELECT ON ALL TABLES IN SCHEMA qavrel_campaign TO reader")
                  .ok())
      << database->error();
  auto reader = open(url + " user=reader");
  ASSERT_TRUE(reader);
  const Status refused = reader->check_writable();
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.reason(), "user reader may not add to the tables of schema qavrel_campaign");

  ASSERT_TRUE(database->execute("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY").ok());
  const Status read_only = database->check_writable();
  ASSERT_FALSE(read_only.ok());
  EXPECT_NE(read_only.reason().find("read-only"), std::string::npos) << read_only.reason();
}

TEST_F(PostgresDatabaseTest, PasswordsAreNeverShown) {
  const std::string url = fresh_database();
  int code = 0;
  run_script(server_command("password", "keeper 'right pass'"), code);
  ASSERT_EQ(code, 0);
  {
    auto owner = open(url);  // the store's tables, made by the superuser
    ASSERT_TRUE(owner && owner
                             ->execute("GRANT USAGE ON SCHEMA qavrel_campaign TO keeper;"
                                       "GRANT SELECT ON store_layout TO keeper")
                             .ok());
  }
  const std::string dbname = url.substr(url.find("dbname="));
  const std::string base = connection("keeper", dbname);

  std::unique_ptr<Database> database;
  const Status wrong = open_postgres(base + " password='wrong pass'", database);
  ASSERT_FALSE(wrong.ok());
  EXPECT_NE(wrong.reason().find("password authentication failed"), std::string::npos)
      << wrong.reason();
  EXPECT_EQ(wrong.reason().find("wrong pass"), std::string::npos) << wrong.reason();

  std::string socket = server();
  for (std::size_t at = 0; (at = socket.find('/', at)) != std::string::npos; at += 3)
    socket.replace(at, 1, "%2F");
  const auto uri = [&](const std::string& password) {
    std::string text = "postgresql://keeper:";
    text.append(password).append("@/").append(dbname.substr(7)).append("?host=").append(socket);
    return text;
  };
  const Status wrong_uri = open_postgres(uri("bad%20secret"), database);
  ASSERT_FALSE(wrong_uri.ok());
  EXPECT_EQ(wrong_uri.reason().find("secret"), std::string::npos) << wrong_uri.reason();

  const Status garbled = open_postgres("postgresql://keeper:s%zzcret@/x", database);
  ASSERT_FALSE(garbled.ok());
  EXPECT_EQ(garbled.reason().find("s%zzcret"), std::string::npos) << garbled.reason();

  const Status right = open_postgres(base + " password='right pass'", database);
  ASSERT_TRUE(right.ok()) << right.reason();
  EXPECT_EQ(database->where().find("right pass"), std::string::npos) << database->where();
  EXPECT_NE(database->where().find("password=***"), std::string::npos) << database->where();
  database.reset();
  ASSERT_TRUE(open_postgres(uri("right%20pass"), database).ok());
  EXPECT_EQ(database->where().find("right"), std::string::npos) << database->where();
}

TEST_F(PostgresDatabaseTest, AStoppedServerIsToldAsALostConnection) {
  const std::string url = fresh_database();
  auto database = open(url);
  ASSERT_TRUE(database);
  std::unique_ptr<Query> select;
  ASSERT_TRUE(database->prepare("SELECT count(*) FROM store_layout", select).ok());
  std::unique_ptr<Query> insert;
  ASSERT_TRUE(database->prepare("INSERT INTO store_layout VALUES (?, 'x')", insert).ok());
  ASSERT_TRUE(database->begin().ok());
  int code = 0;
  run_script(server_command("stop", "immediate"), code);
  ASSERT_EQ(code, 0);

  insert->bind_integer(1, 1);
  insert->step();  // sent, or failed at once: either way commit tells
  const Status committed = database->commit();
  EXPECT_FALSE(committed.ok());
  EXPECT_EQ(committed.reason().rfind("the connection to the server was lost: ", 0), 0)
      << committed.reason();
  database->rollback();
  EXPECT_FALSE(database->in_transaction());
  EXPECT_EQ(select->step(), Step::failed);
  EXPECT_EQ(database->error().rfind("the connection to the server was lost: ", 0), 0)
      << database->error();

  run_script(server_command("start"), code);
  ASSERT_EQ(code, 0) << "the test server did not start again";
}

// A data file of chip in configuration odd, measured at a time of its name.
DataFile data_file(const std::string& path, const std::string& chip) {
  DataFile file;
  file.path = path;
  file.chip = chip;
  file.config = "odd";
  file.measured = {"2026-12-09T10:00:00", MeasuredFrom::name, 0};
  return file;
}

Analysis analysis_of(const DataFile& file) {
  Analysis analysis;
  analysis.path = file.path;
  analysis.chip = file.chip;
  analysis.config = file.config;
  analysis.ok = true;
  analysis.tool_version = "9.9.9";
  analysis.analysed_at = "2026-12-09T10:00:00Z";
  return analysis;
}

std::vector<std::string> benches_and_paths(const std::vector<CampaignFile>& files) {
  std::vector<std::string> found;
  found.reserve(files.size());
  for (const CampaignFile& file : files)
    found.push_back(file.analysis.bench + " " + file.analysis.path + " " + file.analysis.chip);
  return found;
}

// What the store keeps apart by bench, whichever database is under it:
// each bench sees its own files and analyses, another's as the other
// benches', and one bench's search leaves another's files alone, even on
// the same paths; names of any bytes come back as they were.
void check_benches_apart(const std::function<StoreSettings(const std::string&)>& settings_of) {
  const std::string odd_name = "/d/\xff\n'\"\\ 1";
  const DataFile a1 = data_file("/d/1", "7");
  const DataFile a2 = data_file(odd_name, "7");
  const DataFile b1 = data_file("/d/1", "8");
  ResultsStore a;
  ResultsStore b;
  ASSERT_TRUE(a.open(settings_of("a")).ok());
  ASSERT_TRUE(b.open(settings_of("b")).ok());
  StoredGrades grades;
  ASSERT_TRUE(a.record_search({a1, a2}, grades).ok());
  ASSERT_TRUE(b.record_search({b1}, grades).ok());
  // Committed one at a time, as SQLite has one writer.
  for (const auto& [store, file] : {std::pair{&a, a1}, {&a, a2}, {&b, b1}}) {
    Analysis analysis = analysis_of(file);
    ASSERT_TRUE(store->add(analysis, RatioTable()).ok());
    EXPECT_GT(analysis.id, 0);
    ASSERT_TRUE(store->commit().ok());
  }

  std::vector<std::string> latest;
  LogWriters writers;
  ASSERT_TRUE(
      a.load_latest([&](Analysis& x) { latest.push_back(x.bench + " " + x.path); }, writers).ok());
  std::sort(latest.begin(), latest.end());
  EXPECT_EQ(latest, (std::vector<std::string>{"a /d/1", "a " + odd_name}));

  std::vector<CampaignFile> others;
  ASSERT_TRUE(a.other_benches(others, grades).ok());
  EXPECT_EQ(benches_and_paths(others), std::vector<std::string>{"b /d/1 8"});
  ASSERT_TRUE(b.other_benches(others, grades).ok());
  EXPECT_EQ(benches_and_paths(others),
            (std::vector<std::string>{"a /d/1 7", "a " + odd_name + " 7"}));
  EXPECT_EQ(grades.size(), 2u);

  // A's next search no longer finds /d/1; b's /d/1 stays, and a reader of
  // every bench sees both benches' files in path order, then bench order.
  ASSERT_TRUE(a.record_search({a2}, grades).ok());
  ASSERT_TRUE(a.forget_data_files({"/d/1"}).ok());
  ResultsStore reader;
  ASSERT_TRUE(reader.open(settings_of("")).ok());
  ASSERT_TRUE(reader.other_benches(others, grades).ok());
  EXPECT_EQ(benches_and_paths(others),
            (std::vector<std::string>{"b /d/1 8", "a " + odd_name + " 7"}));
}

TEST_F(PostgresDatabaseTest, BenchesAreKeptApartOnEitherDatabase) {
  const std::string url = fresh_database();
  check_benches_apart([&url](const std::string& bench) {
    StoreSettings settings;
    settings.url = url;
    settings.bench = bench;
    settings.outputs = "host:/out";
    return settings;
  });
  char folder[] = "/tmp/qavrel-store-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  check_benches_apart([&folder](const std::string& bench) {
    StoreSettings settings;
    settings.sqlite_path = std::string(folder) + "/campaign.sqlite";
    settings.bench = bench;
    return settings;
  });
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
