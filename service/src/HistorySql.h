#pragma once
// Statements of the history both engines share word for word.

// Movements booked before the history existed, carried over from the ledger when the history table is made:
// one line per movement, account and coin as it moved the wallet, a day's earnings one line. Referral shares
// paid with earnings and faucet claims were booked under those movements and keep their kind.
#define HistoryBackfillSql                                                                                             \
    "INSERT INTO history(account_id, coin, kind, at, amount, fee, status, detail, ref, day) "                          \
    "SELECT account_id, coin, kind, at, amount, 0, status, '', 0, day FROM ("                                          \
    " SELECT MIN(l.txn) AS seq, l.account_id, l.coin,"                                                                 \
    "  CASE t.kind WHEN 'investment-end' THEN 'return' WHEN 'referral-welcome' THEN 'referral'"                        \
    "   WHEN 'lottery-stake' THEN 'lottery_stake' WHEN 'lottery-draw' THEN 'lottery_win'"                              \
    "   WHEN 'swap' THEN CASE WHEN SUM(l.delta) < 0 THEN 'swap_out' ELSE 'swap_in' END ELSE t.kind END AS kind,"       \
    "  MIN(t.at) AS at, SUM(l.delta) AS amount,"                                                                       \
    "  CASE WHEN t.kind = 'withdraw' THEN 'pending' ELSE 'done' END AS status, CAST(NULL AS BIGINT) AS day"           \
    " FROM ledger l JOIN txns t ON t.id = l.txn"                                                                       \
    " WHERE l.account_id > 4 AND l.bucket = 0 AND t.kind != 'earnings'"                                               \
    " GROUP BY l.txn, l.account_id, l.coin, t.kind HAVING SUM(l.delta) != 0"                                           \
    " UNION ALL"                                                                                                       \
    " SELECT MIN(l.txn), l.account_id, l.coin, 'earning', MAX(t.at), SUM(l.delta), 'done', t.at / 86400"              \
    " FROM ledger l JOIN txns t ON t.id = l.txn"                                                                       \
    " WHERE l.account_id > 4 AND l.bucket = 0 AND t.kind = 'earnings'"                                                \
    " GROUP BY l.account_id, l.coin, t.at / 86400 HAVING SUM(l.delta) != 0"                                            \
    ") moved ORDER BY seq;\n"
