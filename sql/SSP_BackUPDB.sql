-- SSP_BackUPDB: writes one backup of a database into a file on the server and verifies it.
--
-- Install (or replace) in master:
--     sqlcmd -S SERVER -d master -i sql/SSP_BackUPDB.sql
--
-- The scheduled backup program calls it as
--     master..SSP_BackUPDB N'DbName', N'FilePath', N'INIT' | N'DIFF' | N'LOG', N'Label', N'yyyy/MM/dd HH:mm:ss'
-- INIT makes a full backup, DIFF a differential one, LOG a transaction-log backup. The file is
-- overwritten (WITH INIT), written with page checksums, and read back with RESTORE VERIFYONLY.
-- The label and the run time name the backup set. Any failure raises an error (severity 16),
-- whose text the program writes to its daily log. The arguments are Unicode literals, so a
-- Japanese database name or path arrives whole whatever the collation of master is.
--
-- Needs SQL Server 2016 SP1 or later (CREATE OR ALTER).

USE master;
GO

-- CREATE OR ALTER keeps the procedure's object and with it every permission granted on it: the
-- EXECUTE grant to the program's login survives an update of this file. Dropping and creating
-- the procedure would lose that grant, and every backup by that login would then fail with 229.
CREATE OR ALTER PROCEDURE dbo.SSP_BackUPDB
    @DbName   sysname,
    @FilePath nvarchar(260),
    @Kind     nvarchar(10),
    @Label    nvarchar(100),
    @RunTime  nvarchar(30)
AS
BEGIN
    SET NOCOUNT ON;

    DECLARE @kindCode   nvarchar(10)  = UPPER(LTRIM(RTRIM(ISNULL(@Kind, N''))));
    DECLARE @backupName nvarchar(128) = LEFT(ISNULL(@Label, N'') + N' ' + ISNULL(@RunTime, N''), 128);
    DECLARE @recovery   nvarchar(60);
    DECLARE @sql        nvarchar(max);
    DECLARE @rc         int;

    IF DB_ID(@DbName) IS NULL
    BEGIN
        RAISERROR(N'SSP_BackUPDB: database ''%s'' does not exist.', 16, 1, @DbName);
        RETURN 1;
    END;

    IF @kindCode NOT IN (N'INIT', N'DIFF', N'LOG')
    BEGIN
        SET @Kind = ISNULL(@Kind, N'(null)');
        RAISERROR(N'SSP_BackUPDB: unknown backup kind ''%s''; expected INIT, DIFF or LOG.', 16, 1, @Kind);
        RETURN 1;
    END;

    IF LEN(ISNULL(@FilePath, N'')) = 0
    BEGIN
        RAISERROR(N'SSP_BackUPDB: no backup file was given.', 16, 1);
        RETURN 1;
    END;

    -- A log backup exists only under the full or bulk-logged recovery model; say so plainly
    -- rather than let BACKUP LOG fail with a less obvious message.
    SELECT @recovery = recovery_model_desc FROM sys.databases WHERE database_id = DB_ID(@DbName);
    IF @kindCode = N'LOG' AND @recovery = N'SIMPLE'
    BEGIN
        RAISERROR(N'SSP_BackUPDB: database ''%s'' uses the SIMPLE recovery model, which has no log backups.',
                  16, 1, @DbName);
        RETURN 1;
    END;

    -- The database name can only be spliced into the statement, so it is quoted; the path and the
    -- backup-set name travel as parameters.
    SET @sql = CASE @kindCode
        WHEN N'INIT' THEN N'BACKUP DATABASE ' + QUOTENAME(@DbName)
                        + N' TO DISK = @path WITH INIT, CHECKSUM, NAME = @name;'
        WHEN N'DIFF' THEN N'BACKUP DATABASE ' + QUOTENAME(@DbName)
                        + N' TO DISK = @path WITH DIFFERENTIAL, INIT, CHECKSUM, NAME = @name;'
        ELSE              N'BACKUP LOG ' + QUOTENAME(@DbName)
                        + N' TO DISK = @path WITH INIT, CHECKSUM, NAME = @name;'
    END;

    -- No TRY/CATCH here: inside one, only the last of BACKUP's messages ("BACKUP DATABASE is
    -- terminating abnormally.") would survive. Without it the client receives the message that
    -- names the cause (a missing folder, a denied write, a full disk) first.
    EXEC @rc = sys.sp_executesql @sql,
        N'@path nvarchar(260), @name nvarchar(128)',
        @path = @FilePath, @name = @backupName;
    IF @@ERROR <> 0 OR @rc <> 0
    BEGIN
        RAISERROR(N'SSP_BackUPDB: the %s backup of database ''%s'' to ''%s'' failed.', 16, 1,
                  @kindCode, @DbName, @FilePath);
        RETURN 1;
    END;

    EXEC @rc = sys.sp_executesql N'RESTORE VERIFYONLY FROM DISK = @path WITH CHECKSUM;',
        N'@path nvarchar(260)',
        @path = @FilePath;
    IF @@ERROR <> 0 OR @rc <> 0
    BEGIN
        RAISERROR(N'SSP_BackUPDB: the backup file ''%s'' of database ''%s'' did not verify.', 16, 1,
                  @FilePath, @DbName);
        RETURN 1;
    END;

    RETURN 0;
END;
GO
