-- What an upgraded store holds, one line: schema version, the demo account's iteration count, the anonymous
-- likers (in order), and how many articles have comment bytes that disagree with their comment count.
SELECT (SELECT user_version FROM pragma_user_version) || ' ' || (SELECT iterations FROM users WHERE username = 'demo')
    || ' ' || (SELECT group_concat(liker, ' ') FROM (SELECT liker FROM article_likes WHERE liker LIKE 'a:%' ORDER BY liker))
    || ' ' || (SELECT count(*) FROM articles WHERE (comment_bytes > 0) != (comment_count > 0));
