-- Money operations: small swaps, each of its own amount (so none is taken for a repeat of another).
-- Each request from one of the logins in AMBERVALE_BENCH_LOGINS (all with the same password), or
-- from AMBERVALE_BENCH_LOGIN alone.
local logins = {}
for l in string.gmatch(os.getenv("AMBERVALE_BENCH_LOGINS") or os.getenv("AMBERVALE_BENCH_LOGIN"), "%S+") do
  logins[#logins + 1] = l
end
local digest = os.getenv("AMBERVALE_BENCH_DIGEST")
local counter = 0

-- The service takes money actions only with a session token of about now (run.sh passes those of the last
-- two minutes); the amount varies in its last decimals so that no swap is taken for a repeat of another.
local tokens = {}
for t in string.gmatch(os.getenv("AMBERVALE_BENCH_TOKENS") or "", "%S+") do
  tokens[#tokens + 1] = t
end

local function token()
  return tokens[math.random(#tokens)]
end

local function amount()
  return string.format("0.01%06d", math.random(0, 999999))
end

function setup(thread)
  thread:set("seed", math.random(1, 1000000000))
end

function init(args)
  math.randomseed(seed or os.time())
end

request = function()
  counter = counter + 1
  local pair = (counter % 2 == 0) and "cur0=USDT&cur1=DOGE" or "cur0=DOGE&cur1=USDT"
  local body = "a=get_swap_coin&com=swap&" .. pair .. "&val=" .. amount() .. "&s=" .. logins[math.random(#logins)] .. "&pass=" .. digest ..
               "&session=" .. token()
  return wrk.format("POST", "/api.php", {["Content-Type"] = "application/x-www-form-urlencoded; charset=utf-8"}, body)
end

done = function(summary, latency, requests)
  io.write(string.format("non-2xx or socket errors: %d\n", summary.errors.status + summary.errors.connect +
                         summary.errors.read + summary.errors.write + summary.errors.timeout))
end
