-- The database file of Tessel: settings, the user's CAN data bases and the two
-- reference tables of a 16 MHz analyser. The build turns this script into the
-- seed file "Tesseltest.mdb"; the program copies that to "Tessel.mdb" on first start.
PRAGMA foreign_keys = ON;

CREATE TABLE Params (
  Name  TEXT NOT NULL UNIQUE COLLATE NOCASE,
  Value TEXT
);

CREATE TABLE CAN_Speed (
  id_CAN_Speed INTEGER PRIMARY KEY,
  Speed        REAL,
  "View"       INTEGER NOT NULL DEFAULT 0,
  valueCANBT1  INTEGER,
  valueCANBT2  INTEGER,
  valueCANBT3  INTEGER
);

CREATE TABLE CAN_Timer (
  id_CAN_Timer INTEGER PRIMARY KEY,
  Timer        REAL,
  "View"       INTEGER NOT NULL DEFAULT 0,
  Divizor      INTEGER
);

-- The references of a data base to its default device, speed and timer are
-- not declared: the program writes them in either order and keeps them itself.
CREATE TABLE CAN (
  id_CAN        INTEGER PRIMARY KEY,
  Name          TEXT,
  id_CAN_Device INTEGER,
  id_CAN_Speed  INTEGER,
  id_CAN_Timer  INTEGER
);

CREATE TABLE CAN_Device (
  id_CAN_Device INTEGER PRIMARY KEY,
  id_CAN        INTEGER REFERENCES CAN (id_CAN) ON DELETE CASCADE,
  Name          TEXT
);

CREATE TABLE CAN_ID (
  id_CAN_ID     INTEGER PRIMARY KEY,
  id_CAN_Device INTEGER REFERENCES CAN_Device (id_CAN_Device) ON DELETE CASCADE,
  ID            INTEGER,
  Name          TEXT,
  Enable        INTEGER NOT NULL DEFAULT 1,
  CycleTime     INTEGER NOT NULL DEFAULT 0, -- expected period in ms; 0: none
  Comment       TEXT,
  Dlc           INTEGER -- the frame length of a signal database's message; null: unknown
);

CREATE TABLE CAN_Data (
  id_CAN_Data INTEGER PRIMARY KEY,
  id_CAN_ID   INTEGER REFERENCES CAN_ID (id_CAN_ID) ON DELETE CASCADE,
  Name        TEXT,
  "Begin"     INTEGER,
  "Count"     INTEGER,
  ByteOrder   INTEGER NOT NULL DEFAULT 0, -- 0 little-endian, 1 big-endian
  ValueType   INTEGER NOT NULL DEFAULT 0, -- 0 unsigned, 1 signed, 2 float 32, 3 float 64
  Factor      REAL NOT NULL DEFAULT 1,
  "Offset"    REAL NOT NULL DEFAULT 0,
  Minimum     REAL NOT NULL DEFAULT 0,
  Maximum     REAL NOT NULL DEFAULT 0,
  Unit        TEXT,
  Comment     TEXT,
  Multiplexor INTEGER NOT NULL DEFAULT 0,
  MultiplexValue INTEGER NOT NULL DEFAULT -1 -- -1: present in every frame
);

-- Texts of raw values of a data field.
CREATE TABLE CAN_Value (
  id_CAN_Data INTEGER REFERENCES CAN_Data (id_CAN_Data) ON DELETE CASCADE,
  Value       INTEGER NOT NULL,
  Text        TEXT
);

CREATE INDEX CAN_Device_by_CAN ON CAN_Device (id_CAN);
CREATE INDEX CAN_ID_by_Device ON CAN_ID (id_CAN_Device);
CREATE INDEX CAN_ID_by_ID ON CAN_ID (ID);
CREATE INDEX CAN_Data_by_ID ON CAN_Data (id_CAN_ID);
CREATE INDEX CAN_Value_by_Data ON CAN_Value (id_CAN_Data);

-- The layout of these tables; the program upgrades a file of an older one.
INSERT INTO Params VALUES ('schema_version', '2');

-- Bit timing of a 16 MHz controller: each row's registers give exactly its speed.
INSERT INTO CAN_Speed VALUES (0,  500000, 2, 2,   12, 55);
INSERT INTO CAN_Speed VALUES (1, 1000000, 0, 0,   12, 55);
INSERT INTO CAN_Speed VALUES (2,  500000, 0, 2,   12, 55);
INSERT INTO CAN_Speed VALUES (3,  250000, 0, 6,   12, 55);
INSERT INTO CAN_Speed VALUES (4,  125000, 0, 14,  12, 55);
INSERT INTO CAN_Speed VALUES (5,  100000, 0, 18,  12, 55);
INSERT INTO CAN_Speed VALUES (6,   50000, 0, 38,  12, 55);
INSERT INTO CAN_Speed VALUES (7,   20000, 0, 98,  12, 55);
INSERT INTO CAN_Speed VALUES (8,   10000, 0, 126, 14, 126);
INSERT INTO CAN_Speed VALUES (9,  800000, 0, 2,   6,  20);
INSERT INTO CAN_Speed VALUES (10, 200000, 0, 8,   12, 55);

-- Time-stamp timer: tick = 16 MHz / ((Divizor + 1) * 8).
INSERT INTO CAN_Timer VALUES (0, 1000000, 2, 1);
INSERT INTO CAN_Timer VALUES (1, 1000000, 0, 1);
INSERT INTO CAN_Timer VALUES (2, 2000000, 0, 0);
INSERT INTO CAN_Timer VALUES (3,  500000, 0, 3);
INSERT INTO CAN_Timer VALUES (4,  250000, 0, 7);
INSERT INTO CAN_Timer VALUES (5,  125000, 0, 15);
INSERT INTO CAN_Timer VALUES (6,  100000, 0, 19);
INSERT INTO CAN_Timer VALUES (7,   10000, 0, 199);
