-- The address book. Enciphered columns hold upper-case hexadecimal text; TypeName, Description
-- and Url are plain. Keys are assigned by the engine and never reused (AUTOINCREMENT).

CREATE TABLE PWDType (
    TypeNo      INTEGER PRIMARY KEY AUTOINCREMENT,
    TypeName    TEXT,
    Description TEXT
);

CREATE TABLE PWDTable (
    PWDID          INTEGER PRIMARY KEY AUTOINCREMENT,
    Name           TEXT,
    TypeNo         INTEGER,
    F_Phone1       TEXT,
    F_MobilePhone1 TEXT,
    C_Phone1       TEXT,
    EMailList      TEXT,
    QQ             TEXT,
    MSN            TEXT,
    ICQ            TEXT,
    Url            TEXT
);

-- Records are listed per type and checked for duplicate names. The index of types holds the
-- names too, so a type's listing reads only the type's own entries, not rows scattered through the
-- whole table.
CREATE INDEX PWDTable_TypeName ON PWDTable (TypeNo, PWDID, Name);
CREATE INDEX PWDTable_Name ON PWDTable (Name);

-- Contacts deleted but not yet removed: the delete only writes their keys here, in one short
-- transaction, and the rows leave PWDTable later, a few at a time, in the background. Every reader
-- skips the keys listed here. Batch groups the keys of one delete. Batch has no index: one would
-- double the time the delete's write takes, and the table holds only what is still pending, read
-- whole in the time.
CREATE TABLE PWDDeleted (
    PWDID INTEGER PRIMARY KEY,
    Batch INTEGER NOT NULL
);

-- Contacts moved to another type whose rows still name the old one: the move is written in the
-- background, a few rows at a time, and every reader of types takes the type from here meanwhile.
CREATE TABLE PWDMoving (
    PWDID  INTEGER PRIMARY KEY,
    TypeNo INTEGER NOT NULL
);
-- A type's count and listing read only the moves into that type.
CREATE INDEX PWDMoving_TypeNo ON PWDMoving (TypeNo, PWDID);

-- Whoever removes a contact or writes its type removes what was pending for it: an edit saved
-- while a move is still being written keeps the type the user chose.
CREATE TRIGGER PWDTable_Deleted AFTER DELETE ON PWDTable BEGIN
    DELETE FROM PWDDeleted WHERE PWDID = old.PWDID;
    DELETE FROM PWDMoving WHERE PWDID = old.PWDID;
END;
CREATE TRIGGER PWDTable_Moved AFTER UPDATE OF TypeNo ON PWDTable BEGIN
    DELETE FROM PWDMoving WHERE PWDID = new.PWDID;
END;

CREATE TABLE Users (
    UserName TEXT,
    Password TEXT,
    Question TEXT,
    Answer   TEXT
);

-- Every record with its type's name; a record whose type was deleted is still listed, a deleted
-- record is not, and a moved one is listed with the type it was moved to.
CREATE VIEW VPWDTable AS
SELECT r.PWDID, r.Name, coalesce(m.TypeNo, r.TypeNo) AS TypeNo, t.TypeName, r.F_Phone1, r.F_MobilePhone1,
       r.C_Phone1, r.EMailList, r.QQ, r.MSN, r.ICQ, r.Url
FROM PWDTable r LEFT JOIN PWDMoving m ON m.PWDID = r.PWDID
     LEFT JOIN PWDType t ON t.TypeNo = coalesce(m.TypeNo, r.TypeNo)
WHERE NOT EXISTS (SELECT 1 FROM PWDDeleted) OR r.PWDID NOT IN (SELECT PWDID FROM PWDDeleted);

-- Every type with the number of its records (0 for none), deleted ones left out and moved ones
-- counted where they go. The subqueries over the two small tables cost nothing while they are empty.
-- A move's contact is looked up by its key: "IN (SELECT PWDID FROM PWDTable)" would make the engine
-- gather every key of the book once per type.
CREATE VIEW VPWDType AS
SELECT t.TypeNo, t.TypeName, t.Description,
       (SELECT count(*) FROM PWDTable r WHERE r.TypeNo = t.TypeNo
            AND (NOT EXISTS (SELECT 1 FROM PWDDeleted) OR r.PWDID NOT IN (SELECT PWDID FROM PWDDeleted))
            AND (NOT EXISTS (SELECT 1 FROM PWDMoving) OR r.PWDID NOT IN (SELECT PWDID FROM PWDMoving)))
       + (SELECT count(*) FROM PWDMoving m WHERE m.TypeNo = t.TypeNo
            AND m.PWDID NOT IN (SELECT PWDID FROM PWDDeleted)
            AND EXISTS (SELECT 1 FROM PWDTable p WHERE p.PWDID = m.PWDID)) AS RecCnt
FROM PWDType t;
