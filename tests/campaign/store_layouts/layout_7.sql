-- The store as the 1.7.0 release, which kept the grade limits of each run,
-- wrote it: the 1.6.0 store below, brought up to layout 7 as that release
-- did.
CREATE TABLE IF NOT EXISTS analyses (
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  chip TEXT NOT NULL,
  config TEXT NOT NULL,
  parity TEXT,
  status TEXT NOT NULL CHECK (status IN ('ok', 'failed')),
  error TEXT,
  marker_found INTEGER NOT NULL,
  complete_trains INTEGER NOT NULL,
  cut_train_rows INTEGER NOT NULL,
  train_rows INTEGER NOT NULL,
  rows_read INTEGER NOT NULL,
  input_end TEXT NOT NULL CHECK (input_end IN ('end of file', 'token')),
  token_offset INTEGER,
  log_path TEXT NOT NULL,
  log_written INTEGER NOT NULL,
  worst_channel INTEGER,
  worst_abs_mean_ratio REAL,
  worst_standard_error REAL,
  tool_version TEXT NOT NULL,
  analysed_at TEXT NOT NULL,
  log_size INTEGER,
  log_mtime_ns INTEGER
);
CREATE INDEX IF NOT EXISTS analyses_by_path ON analyses (path, id);
CREATE TABLE IF NOT EXISTS ratios (
  analysis_id INTEGER NOT NULL REFERENCES analyses (id),
  peak INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  ratio REAL,
  PRIMARY KEY (analysis_id, peak, channel)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS outputs (made_from TEXT NOT NULL);
CREATE VIEW IF NOT EXISTS latest_analyses AS
  SELECT * FROM analyses WHERE id IN (SELECT max(id) FROM analyses GROUP BY path);
INSERT INTO analyses VALUES
  (1, '/d/1_vemra7_b_l_odd_adc.txt', 100, 5, '7', 'odd', 'odd', 'ok', NULL, 1, 2, 0, 436, 600,
   'end of file', NULL, '/d/xtalk_vemra7_odd.log', 1, 30, 0.025, 0.0, '1.3.0', '2026-12-08T10:00:00Z', 2416, 9),
  (2, '/d/1_vemra7_b_l_odd_adc.txt', 100, 6, '7', 'odd', 'odd', 'ok', NULL, 1, 2, 0, 436, 600,
   'end of file', NULL, '/d/xtalk_vemra7_odd.log', 1, 30, 0.025, 0.0, '1.3.0', '2026-12-08T11:00:00Z', 2416, 9),
  (3, '/d/2_vemra8_b_l_even_adc.txt', 0, 7, '8', 'even', NULL, 'failed',
   'Cannot open file named /d/2_vemra8_b_l_even_adc.txt.', 0, 0, 0, 0, 0, 'end of file', NULL,
   '/d/xtalk_vemra8_even.log', 0, NULL, NULL, NULL, '1.3.0', '2026-12-08T11:00:00Z', NULL, NULL);
CREATE VIEW IF NOT EXISTS latest_ratios AS
  SELECT a.path, a.chip, a.config, r.peak, r.channel, r.ratio
  FROM latest_analyses AS a JOIN ratios AS r ON r.analysis_id = a.id;
CREATE TABLE IF NOT EXISTS chip_pages (
  chip TEXT PRIMARY KEY,
  page TEXT NOT NULL,
  made_from TEXT NOT NULL
);
CREATE TABLE channel_means (
  analysis_id INTEGER NOT NULL REFERENCES analyses (id),
  channel INTEGER NOT NULL,
  mean_abs_ratio REAL NOT NULL,
  PRIMARY KEY (analysis_id, channel)
) WITHOUT ROWID;
INSERT INTO outputs VALUES ('0123456789abcdef');
INSERT INTO chip_pages VALUES ('7', '7.html', 'fedcba9876543210');
-- Chip 7's analyses are odd pulsed. The latest has its worst channel 30
-- at 2.5%; the first has negative ratios on every other channel, one
-- infinite and one not-a-number (NULL).
WITH RECURSIVE peaks(peak) AS (SELECT 0 UNION ALL SELECT peak + 1 FROM peaks WHERE peak < 14),
  columns(col) AS (SELECT 0 UNION ALL SELECT col + 1 FROM columns WHERE col < 15),
  analysed(id) AS (SELECT 1 UNION ALL SELECT 2)
INSERT INTO ratios
  SELECT analysed.id, peak, 2 * col,
    CASE WHEN analysed.id = 1 AND peak = 0 AND col = 0 THEN 9e999
         WHEN analysed.id = 1 AND peak = 1 AND col = 1 THEN NULL
         WHEN analysed.id = 1 AND col % 2 = 1 THEN -(0.01 + 0.001 * col + 0.0001 * peak)
         ELSE 0.01 + 0.001 * col END
  FROM analysed, peaks, columns;
INSERT INTO channel_means
  SELECT analysis_id, channel, avg(abs(ratio)) FROM ratios
  WHERE ratio IS NOT NULL AND abs(ratio) < 9e999
  GROUP BY analysis_id, channel;
DROP VIEW IF EXISTS latest_ratios;
DROP VIEW IF EXISTS latest_analyses;
DROP TABLE IF EXISTS outputs;
DROP TABLE IF EXISTS chip_pages;
ALTER TABLE analyses ADD COLUMN ctime_ns INTEGER;
ALTER TABLE analyses ADD COLUMN failure TEXT
  CHECK (failure IN ('open', 'read', 'parity', 'log'));
ALTER TABLE analyses ADD COLUMN log_ctime_ns INTEGER;
CREATE TABLE data_files (
  path TEXT PRIMARY KEY,
  chip TEXT NOT NULL,
  config TEXT NOT NULL,
  grade TEXT,
  current INTEGER
);
CREATE TABLE output_files (
  name TEXT PRIMARY KEY,
  made_from INTEGER NOT NULL,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  ctime_ns INTEGER NOT NULL
) WITHOUT ROWID;
CREATE TABLE store_layout (
  layout INTEGER NOT NULL,
  written_by TEXT NOT NULL
);
CREATE VIEW latest_analyses AS
  SELECT a.* FROM data_files AS f
  JOIN analyses AS a ON a.id = (SELECT max(id) FROM analyses WHERE path = f.path);
CREATE VIEW latest_ratios AS
  SELECT a.path, a.chip, a.config, r.peak, r.channel, r.ratio
  FROM latest_analyses AS a JOIN ratios AS r ON r.analysis_id = a.id;
CREATE VIEW current_measurements AS
  SELECT f.chip, f.config, f.path, f.grade, a.worst_channel, a.worst_abs_mean_ratio,
    a.worst_standard_error, a.id AS analysis_id
  FROM data_files AS f
  LEFT JOIN analyses AS a ON a.id = (SELECT max(id) FROM analyses WHERE path = f.path)
  WHERE f.current = 1;
INSERT INTO data_files (path, chip, config)
  SELECT path, chip, config FROM analyses AS a
  WHERE id = (SELECT max(id) FROM analyses WHERE path = a.path);
INSERT INTO data_files (path, chip, config, grade, current) VALUES
  ('/d/1_vemra7_b_l_odd_adc.txt', '7', 'odd', 'C', 1)
  ON CONFLICT (path) DO UPDATE SET grade = 'C', current = 1;
INSERT INTO output_files VALUES ('', 123, 0, 0, 0), ('summary.csv', 456, 10, 11, 12);
INSERT INTO store_layout VALUES (5, '1.5.0');
DROP VIEW IF EXISTS latest_ratios;
DROP VIEW IF EXISTS latest_analyses;
DROP VIEW IF EXISTS current_measurements;
DELETE FROM output_files;
ALTER TABLE data_files ADD COLUMN measured_at TEXT;
ALTER TABLE data_files ADD COLUMN measured_from TEXT
  CHECK (measured_from IN ('manifest', 'pattern', 'name', 'mtime'));
CREATE VIEW latest_analyses AS
  SELECT a.*, f.measured_at, f.measured_from FROM data_files AS f
  JOIN analyses AS a ON a.id = (SELECT max(id) FROM analyses WHERE path = f.path);
CREATE VIEW latest_ratios AS
  SELECT a.path, a.chip, a.config, r.peak, r.channel, r.ratio
  FROM latest_analyses AS a JOIN ratios AS r ON r.analysis_id = a.id;
CREATE VIEW current_measurements AS
  SELECT f.chip, f.config, f.path, f.grade, a.worst_channel, a.worst_abs_mean_ratio,
    a.worst_standard_error, a.id AS analysis_id, f.measured_at, f.measured_from
  FROM data_files AS f
  LEFT JOIN analyses AS a ON a.id = (SELECT max(id) FROM analyses WHERE path = f.path)
  WHERE f.current = 1;
UPDATE data_files SET measured_at = '2026-12-08T10:00:00', measured_from = 'name';
INSERT INTO output_files VALUES ('', 789, 0, 0, 0), ('summary.csv', 456, 10, 11, 12);
INSERT INTO store_layout VALUES (6, '1.6.0');
DELETE FROM output_files;
CREATE TABLE grade_limits (
  id INTEGER PRIMARY KEY,
  run_at TEXT NOT NULL,
  limit_a REAL NOT NULL,
  limit_b REAL NOT NULL,
  limit_c REAL NOT NULL,
  tool_version TEXT NOT NULL
);
INSERT INTO grade_limits VALUES (1, '2026-12-09T10:00:00Z', 0.01, 0.02, 0.05, '1.7.0');
INSERT INTO output_files VALUES ('', 901, 0, 0, 0), ('summary.csv', 456, 10, 11, 12);
INSERT INTO store_layout VALUES (7, '1.7.0');
PRAGMA user_version = 7;
