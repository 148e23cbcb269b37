-- Money operations: small swaps, each with a fresh session token (so none is
-- taken for a repeat of the one before).
-- Each request from one of the logins in AMBERVALE_BENCH_LOGINS (all with the same password), or
-- from AMBERVALE_BENCH_LOGIN alone.
local logins = {}
for l in string.gmatch(os.getenv("AMBERVALE_BENCH_LOGINS") or os.getenv("AMBERVALE_BENCH_LOGIN"), "%S+") do
  logins[#logins + 1] = l
end
local digest = os.getenv("AMBERVALE_BENCH_DIGEST")
local hex = "0123456789ABCDEF"
local counter = 0

local function token()
  local t = {}
  for i = 1, 32 do
    local k = math.random(16)
    t[i] = hex:sub(k, k)
  end
  return table.concat(t)
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
  local body = "a=get_swap_coin&com=swap&" .. pair .. "&val=0.01&s=" .. logins[math.random(#logins)] .. "&pass=" .. digest ..
               "&session=" .. token()
  return wrk.format("POST", "/api.php", {["Content-Type"] = "application/x-www-form-urlencoded; charset=utf-8"}, body)
end

done = function(summary, latency, requests)
  io.write(string.format("non-2xx or socket errors: %d\n", summary.errors.status + summary.errors.connect +
                         summary.errors.read + summary.errors.write + summary.errors.timeout))
end
