-- The demo store taken back to the first schema: no comment bytes, anonymous likes per address (two of
-- one /64), and the demo account's password "demo1234" hashed at 120,000 rounds as Qt's digestor did.
ALTER TABLE articles DROP COLUMN comment_bytes;
INSERT INTO article_likes VALUES (10, 'a:2001:db8::1'), (10, 'a:2001:db8::2'), (10, 'a:192.0.2.1');
UPDATE articles SET like_count = like_count + 3 WHERE id = 10;
UPDATE users SET salt = X'30313233343536373839616263646566', password_hash = X'16aad335a12e8ef2071f50d81146e1b39570a47dfd4cefa1c2c6f362021124ae', iterations = 120000 WHERE username = 'demo';
PRAGMA user_version = 1;
