-- The product database's exclusive-control table. Programs that work on something others must not
-- touch insert a row naming it and delete the row when done. Every column is nullable.
CREATE TABLE 排他管理 (
    更新日 DATETIME NULL,
    更新操作者 NVARCHAR(16) NULL,
    更新画面ＩＤ NVARCHAR(16) NULL,
    更新カウンタ SMALLINT NULL,
    削除区分 NVARCHAR(1) NULL,
    ＫＥＹテーブル名称１ NVARCHAR(128) NULL,
    ＫＥＹＩＤ１ INT NULL,
    ＫＥＹテーブル名称２ NVARCHAR(128) NULL,
    ＫＥＹＩＤ２ INT NULL,
    テーブル名称 NVARCHAR(128) NULL,
    ロックＩＤ番号 INT NULL,
    ロックＣＤ番号 NVARCHAR(32) NULL
);
