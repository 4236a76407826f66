-- The store as the first release of qavrel-campaign (1.3.0) wrote it.
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
  tool_version TEXT NOT NULL,
  analysed_at TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS analyses_by_path ON analyses (path, id);
CREATE TABLE IF NOT EXISTS ratios (
  analysis_id INTEGER NOT NULL REFERENCES analyses (id),
  peak INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  ratio REAL,
  PRIMARY KEY (analysis_id, peak, channel)
) WITHOUT ROWID;
CREATE VIEW IF NOT EXISTS latest_analyses AS
  SELECT * FROM analyses WHERE id IN (SELECT max(id) FROM analyses GROUP BY path);
INSERT INTO analyses VALUES
  (1, '/d/1_vemra7_b_l_odd_adc.txt', 100, 5, '7', 'odd', 'odd', 'ok', NULL, 1, 2, 0, 436, 600,
   'end of file', NULL, '/d/xtalk_vemra7_odd.log', 1, '1.3.0', '2026-12-08T10:00:00Z'),
  (2, '/d/1_vemra7_b_l_odd_adc.txt', 100, 6, '7', 'odd', 'odd', 'ok', NULL, 1, 2, 0, 436, 600,
   'end of file', NULL, '/d/xtalk_vemra7_odd.log', 1, '1.3.0', '2026-12-08T11:00:00Z'),
  (3, '/d/2_vemra8_b_l_even_adc.txt', 0, 7, '8', 'even', NULL, 'failed',
   'Cannot open file named /d/2_vemra8_b_l_even_adc.txt.', 0, 0, 0, 0, 0, 'end of file', NULL,
   '/d/xtalk_vemra8_even.log', 0, '1.3.0', '2026-12-08T11:00:00Z');
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
