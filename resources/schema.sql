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

CREATE TABLE Users (
    UserName TEXT,
    Password TEXT,
    Question TEXT,
    Answer   TEXT
);

-- Every record with its type's name; a record whose type was deleted is still listed.
CREATE VIEW VPWDTable AS
SELECT r.PWDID, r.Name, r.TypeNo, t.TypeName, r.F_Phone1, r.F_MobilePhone1, r.C_Phone1,
       r.EMailList, r.QQ, r.MSN, r.ICQ, r.Url
FROM PWDTable r LEFT JOIN PWDType t ON t.TypeNo = r.TypeNo;

-- Every type with the number of its records (0 for none).
CREATE VIEW VPWDType AS
SELECT t.TypeNo, t.TypeName, t.Description,
       (SELECT count(*) FROM PWDTable r WHERE r.TypeNo = t.TypeNo) AS RecCnt
FROM PWDType t;
