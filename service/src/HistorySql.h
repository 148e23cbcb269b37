#pragma once
// Statements of the history both engines share word for word.

// Movements booked before the history existed, carried over from the ledger when the history table is made:
// one line per movement, account and coin as it moved the wallet, a day's earnings (and a day's referral shares
// of them) one line. A leg paid to the inviter of another account of the same movement is a referral share.
#define HistoryReferralLeg                                                                                             \
    "EXISTS (SELECT 1 FROM ledger o JOIN accounts oa ON oa.id = o.account_id"                                          \
    " WHERE o.txn = l.txn AND oa.referrer = l.account_id)"
#define HistoryBackfillSql                                                                                             \
    "INSERT INTO history(account_id, coin, kind, at, amount, fee, status, detail, ref, day) "                          \
    "SELECT account_id, coin, kind, at, amount, 0, status, '', 0, day FROM ("                                          \
    " SELECT MIN(l.txn) AS seq, l.account_id, l.coin,"                                                                 \
    "  CASE WHEN t.kind = 'faucet' AND " HistoryReferralLeg " THEN 'referral'"                                        \
    "   WHEN t.kind = 'investment-end' THEN 'return' WHEN t.kind = 'referral-welcome' THEN 'referral'"                 \
    "   WHEN t.kind = 'lottery-stake' THEN 'lottery_stake' WHEN t.kind = 'lottery-draw' THEN 'lottery_win'"            \
    "   WHEN t.kind = 'swap' THEN CASE WHEN SUM(l.delta) < 0 THEN 'swap_out' ELSE 'swap_in' END"                      \
    "   ELSE t.kind END AS kind,"                                                                                      \
    "  MIN(t.at) AS at, SUM(l.delta) AS amount,"                                                                       \
    "  CASE WHEN t.kind = 'withdraw' THEN 'pending' ELSE 'done' END AS status, CAST(NULL AS BIGINT) AS day"           \
    " FROM ledger l JOIN txns t ON t.id = l.txn"                                                                       \
    " WHERE l.account_id > 4 AND l.bucket = 0 AND t.kind != 'earnings'"                                               \
    " GROUP BY l.txn, l.account_id, l.coin, t.kind HAVING SUM(l.delta) != 0"                                           \
    " UNION ALL"                                                                                                       \
    " SELECT MIN(txn), account_id, coin, kind, MAX(at), SUM(delta), 'done', day FROM ("                                \
    "  SELECT l.txn, l.account_id, l.coin, l.delta, t.at, t.at / 86400 AS day,"                                        \
    "   CASE WHEN " HistoryReferralLeg " THEN 'referral' ELSE 'earning' END AS kind"                                  \
    "  FROM ledger l JOIN txns t ON t.id = l.txn"                                                                      \
    "  WHERE l.account_id > 4 AND l.bucket = 0 AND t.kind = 'earnings') e"                                             \
    " GROUP BY account_id, coin, day, kind HAVING SUM(delta) != 0"                                                     \
    ") moved ORDER BY seq;\n"

// For verify: every account's history lines of a coin sum to its wallet in that coin.
#define HistoryVerifySql                                                                                               \
    "SELECT COALESCE(b.account_id, h.account_id), COALESCE(b.coin, h.coin), 0, COALESCE(b.amount, 0),"                \
    " COALESCE(h.total, 0) FROM (SELECT account_id, coin, amount FROM balances WHERE bucket = 0 AND account_id > 4) b" \
    " FULL JOIN (SELECT account_id, coin, SUM(amount) AS total FROM history GROUP BY account_id, coin) h"              \
    " ON h.account_id = b.account_id AND h.coin = b.coin WHERE COALESCE(b.amount, 0) != COALESCE(h.total, 0)"
