-- The template database Master.dat: the template of every document table, the master
-- holiday list, the start-screen menus and wizard steps, and the program options.
-- The build turns this text into Master.dat in the program folder.
--
-- Types: SMALLINT is a 16-bit integer, BOOLEAN a yes/no field stored as -1 (yes) or 0
-- (no), TEXT a variable text. Rows are found by the program, not by keys, so the tables
-- carry no keys or indexes; every read orders its rows itself.

-- Message channels 1..12.
CREATE TABLE tblMessage (
  fldCh       SMALLINT,
  fldComment  TEXT,
  fldUse      BOOLEAN DEFAULT 0,
  fldAnsRec   BOOLEAN DEFAULT 0
);

-- Day patterns 0..20: 0 stop, 1..7 the weekdays (1 = Sunday), 8 holidays, 9..20 special days.
CREATE TABLE tblDayPattern (
  fldNo       SMALLINT,
  fldName     TEXT,
  fldStep     BOOLEAN DEFAULT 0,
  fldUse      BOOLEAN DEFAULT 0,
  fldError    BOOLEAN DEFAULT 0
);

-- The change points of every pattern.
CREATE TABLE tblDayStep (
  fldPatternNo SMALLINT,
  fldHour      SMALLINT,
  fldMinute    SMALLINT,
  fldMessage   SMALLINT
);

-- Weekday 1..7 (1 = Sunday) to its pattern.
CREATE TABLE tblBase (
  fldWeek     SMALLINT,
  fldPattern  SMALLINT
);

-- National holidays, the holiday settings row (0, 0) and the rule row (0, 36).
CREATE TABLE tblSyukujitu (
  fldMonth     SMALLINT,
  fldDay       SMALLINT,
  fldName      TEXT,
  fldSyukujitu SMALLINT,
  fldMonday    SMALLINT,
  fldComment   TEXT
);

-- Special days, one row a date.
CREATE TABLE tblYear (
  fldYear     SMALLINT,
  fldMonth    SMALLINT,
  fldDay      SMALLINT,
  fldPattern  SMALLINT,
  fldComment  TEXT
);

-- The sortable list of the special-day window; an empty template.
CREATE TABLE tblYearShow (
  fldNo       SMALLINT,
  fldYear     SMALLINT,
  fldMonth    SMALLINT,
  fldDay      SMALLINT,
  fldWeek     SMALLINT,
  fldPattern  SMALLINT,
  fldSchedule SMALLINT,
  fldComment  TEXT
);

-- Device settings. A document copies every column but fldKind and fldHint.
CREATE TABLE tblSetting (
  fldType     SMALLINT,
  fldOrder    SMALLINT,
  fldNo       SMALLINT,
  fldKind     SMALLINT,
  fldItem     TEXT,
  fldValue    TEXT,
  fldAddress  TEXT,
  fldHint     TEXT
);

-- What a card write includes, by card write block.
CREATE TABLE tblCardWrite (
  fldBlockNo   SMALLINT,
  fldWriteMode SMALLINT,
  fldWriteData TEXT,
  fldComment   TEXT
);

-- Program options; Master.dat only.
CREATE TABLE tblOption (
  fldOptionItem  TEXT COLLATE NOCASE,
  fldOptionValue TEXT
);

-- Start-screen menus (fldWizardNo 0) and their wizard steps; Master.dat only.
CREATE TABLE tblWizard (
  fldMenuNo   SMALLINT,
  fldWizardNo SMALLINT,
  fldFormNo   SMALLINT,
  fldCaption  TEXT
);

-- Channels 1..9 answer, 10 greets, 11 closes, 12 is the hold tone. Channels 10..12 are
-- always in use.
INSERT INTO tblMessage (fldCh, fldComment, fldUse, fldAnsRec) VALUES
  (1,  '応答メッセージ１', 0, 0),
  (2,  '応答メッセージ２', 0, 0),
  (3,  '応答メッセージ３', 0, 0),
  (4,  '応答メッセージ４', 0, 0),
  (5,  '応答メッセージ５', 0, 0),
  (6,  '応答メッセージ６', 0, 0),
  (7,  '応答メッセージ７', 0, 0),
  (8,  '応答メッセージ８', 0, 0),
  (9,  '応答メッセージ９', 0, 0),
  (10, '挨拶メッセージ',   -1, 0),
  (11, '終了メッセージ',   -1, 0),
  (12, '保留音',           -1, 0);

-- Every pattern row exists, unnamed and without steps.
INSERT INTO tblDayPattern (fldNo, fldName, fldStep, fldUse, fldError) VALUES
  (0, '', 0, 0, 0),  (1, '', 0, 0, 0),  (2, '', 0, 0, 0),  (3, '', 0, 0, 0),
  (4, '', 0, 0, 0),  (5, '', 0, 0, 0),  (6, '', 0, 0, 0),  (7, '', 0, 0, 0),
  (8, '', 0, 0, 0),  (9, '', 0, 0, 0),  (10, '', 0, 0, 0), (11, '', 0, 0, 0),
  (12, '', 0, 0, 0), (13, '', 0, 0, 0), (14, '', 0, 0, 0), (15, '', 0, 0, 0),
  (16, '', 0, 0, 0), (17, '', 0, 0, 0), (18, '', 0, 0, 0), (19, '', 0, 0, 0),
  (20, '', 0, 0, 0);

-- No pattern has steps yet, so every weekday stops (pattern 0).
INSERT INTO tblBase (fldWeek, fldPattern) VALUES
  (1, 0), (2, 0), (3, 0), (4, 0), (5, 0), (6, 0), (7, 0);

-- The holiday settings row: holidays and substitute holidays keep their weekday
-- patterns (255) until the user switches the holiday pattern on. The rule row makes a
-- day between two holidays a holiday. Then Japan's national holidays; the Nth weekday
-- of a month is 30 + 10 * N + weekday (1 = Sunday), so the 2nd Monday is 52 and the
-- 3rd Monday 62; 35 is the equinox day of March or September.
INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday, fldComment) VALUES
  (0,  0,  '',             255, 255, '登録値保持用'),
  (0,  36, '国民の休日',   255, 255, ''),
  (1,  1,  '元日',         255, 255, ''),
  (1,  52, '成人の日',     255, 255, ''),
  (2,  11, '建国記念の日', 255, 255, ''),
  (2,  23, '天皇誕生日',   255, 255, ''),
  (3,  35, '春分の日',     255, 255, ''),
  (4,  29, '昭和の日',     255, 255, ''),
  (5,  3,  '憲法記念日',   255, 255, ''),
  (5,  4,  'みどりの日',   255, 255, ''),
  (5,  5,  'こどもの日',   255, 255, ''),
  (7,  62, '海の日',       255, 255, ''),
  (8,  11, '山の日',       255, 255, ''),
  (9,  62, '敬老の日',     255, 255, ''),
  (9,  35, '秋分の日',     255, 255, ''),
  (10, 52, 'スポーツの日', 255, 255, ''),
  (11, 3,  '文化の日',     255, 255, ''),
  (11, 23, '勤労感謝の日', 255, 255, '');

-- The device's function settings, in page order: standard settings (type 1), then the
-- second-level ones (2), then those that need the optional recording board (3), which the
-- settings page keeps last. fldAddress is the value's byte in the card's setting block:
-- the access code (-1) fills bytes 0-7, every other setting owns one byte in 8-43.
INSERT INTO tblSetting (fldType, fldOrder, fldNo, fldKind, fldItem, fldValue, fldAddress, fldHint) VALUES
  (1, 1,  2,  0, '呼出回数',             '5',    '8',
   '電話がかかってから応答するまでに鳴らす呼出音の回数です。（１～２０回）'),
  (1, 2,  4,  0, '応答メッセージの回数', '1',    '9',
   '応答メッセージを続けて流す回数です。（１～９回）'),
  (1, 3,  5,  0, '応答前の無音時間',     '1',    '10',
   '電話に応答してから応答メッセージを流し始めるまでの待ち時間です。（０～５秒）'),
  (1, 4,  6,  0, 'メッセージの間隔',     '1',    '11',
   'メッセージを繰り返して流すときの、メッセージとメッセージの間の時間です。（０～５秒）'),
  (1, 5,  17, 0, '応答後の自動切断',     '1',    '12',
   'メッセージを流し終えたあと、装置から電話を切るかどうかを選びます。'),
  (1, 6,  18, 0, '話中音の検出',         '1',    '13',
   '相手が電話を切ったときの話中音（ツー・ツー）を検出して、回線を切るかどうかを選びます。'),
  (2, 7,  1,  0, '暗証番号',             '----', '-1',
   '外から電話で装置を操作するときの暗証番号です。４～８桁の数字で登録します。使わないときは「クリア」を押してください。'),
  (2, 8,  19, 0, '無音のときの自動切断', '1',    '14',
   '相手が何も話さないとき、何秒後に回線を切るかを選びます。'),
  (2, 9,  20, 0, 'フッキングの検出',     '1',    '15',
   '電話機のフックを短く押したこと（フッキング）を、何ミリ秒の長さから検出するかを選びます。'),
  (2, 10, 21, 0, '極性反転の検出',       '0',    '16',
   '相手が電話を切ったときの回線の極性反転を、何ミリ秒続いたら検出するかを選びます。'),
  (2, 11, 22, 0, '話中音の周波数',       '0',    '17',
   '検出する話中音の周波数です。ご使用の回線に合わせて選びます。'),
  (3, 12, 3,  0, '録音終了メッセージ',   '1',    '18',
   '録音が終わったときに流すメッセージの番号です。（１～９）'),
  (3, 13, 7,  0, '最大録音時間',         '3',    '19',
   '１件の録音で録音できる最長の時間です。（１～９９分）'),
  (3, 14, 23, 0, '録音機能',             '0',    '20',
   '録音ボードの録音機能を使うかどうかを選びます。');

-- Card write blocks: channels 1..12, firmware 24, settings 204, schedule 221, card
-- name 224, message names 225, pattern names 226. A new document writes its schedule,
-- pattern names and message names; settings and the card name are chosen by the user.
INSERT INTO tblCardWrite (fldBlockNo, fldWriteMode, fldWriteData, fldComment) VALUES
  (1,   0, '', '応答メッセージ１'),
  (2,   0, '', '応答メッセージ２'),
  (3,   0, '', '応答メッセージ３'),
  (4,   0, '', '応答メッセージ４'),
  (5,   0, '', '応答メッセージ５'),
  (6,   0, '', '応答メッセージ６'),
  (7,   0, '', '応答メッセージ７'),
  (8,   0, '', '応答メッセージ８'),
  (9,   0, '', '応答メッセージ９'),
  (10,  0, '', '挨拶メッセージ'),
  (11,  0, '', '終了メッセージ'),
  (12,  0, '', '保留音'),
  (24,  0, '', ''),
  (204, 0, '', ''),
  (221, 4, '', ''),
  (224, 0, '', ''),
  (225, 4, '', ''),
  (226, 4, '', '');

-- The program's name and version, checked at start; the operation mode; the user who
-- holds the program (none); the print margins, line width and paper in mm.
INSERT INTO tblOption (fldOptionItem, fldOptionValue) VALUES
  ('ソフト名',     'KV-M58Sﾃﾞｰﾀ入力ｿﾌﾄ'),
  ('バージョン',   '101'),
  ('動作モード',   'N'),
  ('使用ユーザー', ''),
  ('印刷の左余白', '25'),
  ('印刷の右余白', '15'),
  ('印刷の上余白', '15'),
  ('印刷の下余白', '15'),
  ('印刷の罫線幅', '4'),
  ('用紙幅',       '210'),
  ('用紙高さ',     '297'),
  ('用紙サイズ',   '9');

-- Menus (fldWizardNo 0, shown on the start screen for menus 1 to 6) and their steps. Form
-- numbers: 0 start screen, 1 device settings (service mode), 2 weekday patterns, 3 holiday
-- pattern, 4 calendar, 5 read a card, 6 write a card, 7 copy and initialise, 8 messages,
-- 10 new document, 11 open a document, 12 save as, 14 exit, 20 firmware update. Only
-- the menu rows carry form number 0: the start screen finds its menus by it. The last
-- step "終了" saves the document and returns to the start screen; Next before it returns
-- there directly, asking to save.
-- Menu 0 is offered for a document restored after a crash; menu 7 starts from the hidden
-- firmware item of the help menu.
INSERT INTO tblWizard (fldMenuNo, fldWizardNo, fldFormNo, fldCaption) VALUES
  (0, 0, 0,  '復元されたファイル'),
  (0, 1, 1,  '機器設定'),
  (0, 2, 2,  '曜日パターン'),
  (0, 3, 3,  '休日パターン'),
  (0, 4, 4,  '特定日スケジュール'),
  (0, 5, 6,  'カードに書込'),
  (0, 6, 12, '終了'),
  (1, 0, 0,  '新しくデータを作る'),
  (1, 1, 10, '新規作成'),
  (1, 2, 1,  '機器設定'),
  (1, 3, 2,  '曜日パターン'),
  (1, 4, 3,  '休日パターン'),
  (1, 5, 4,  '特定日スケジュール'),
  (1, 6, 6,  'カードに書込'),
  (1, 7, 12, '終了'),
  (2, 0, 0,  'ファイルから作る'),
  (2, 1, 11, 'ファイルを開く'),
  (2, 2, 1,  '機器設定'),
  (2, 3, 2,  '曜日パターン'),
  (2, 4, 3,  '休日パターン'),
  (2, 5, 4,  '特定日スケジュール'),
  (2, 6, 6,  'カードに書込'),
  (2, 7, 12, '終了'),
  (3, 0, 0,  'カードから作る'),
  (3, 1, 5,  'カードから読込'),
  (3, 2, 1,  '機器設定'),
  (3, 3, 2,  '曜日パターン'),
  (3, 4, 3,  '休日パターン'),
  (3, 5, 4,  '特定日スケジュール'),
  (3, 6, 6,  'カードに書込'),
  (3, 7, 12, '終了'),
  (4, 0, 0,  'カードのコピー／初期化'),
  (4, 1, 7,  'カードのコピー／初期化'),
  (5, 0, 0,  'メッセージの編集'),
  (5, 1, 8,  'メッセージの編集'),
  (6, 0, 0,  '終了'),
  (6, 1, 14, '終了'),
  (7, 0, 0,  'ファームウェアのバージョンアップ'),
  (7, 1, 20, 'ファームウェアのバージョンアップ');
