-- What a store keeps of its accounts, one line: schema version, journal mode, salt and PBKDF2 hash sizes with
-- the iteration count of the reader 读者_01, and whether there are tokens and all are kept as their SHA-256 only.
SELECT (SELECT user_version FROM pragma_user_version) || ' ' || (SELECT journal_mode FROM pragma_journal_mode)
    || ' ' || (SELECT length(salt) || ' ' || length(password_hash) || ' ' || iterations FROM users WHERE username = '读者_01')
    || ' ' || (SELECT count(*) >= 3 AND count(*) = sum(length(token_hash) = 32) FROM tokens);
