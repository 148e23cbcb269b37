-- Pages of one account's history, as the activity screen asks for them: the newest page, or (with
-- AMBERVALE_BENCH_DEEP=1) a page below a random item id up to AMBERVALE_BENCH_TOP, some of them for one coin.
local base = os.getenv("AMBERVALE_BENCH_BODY")
local top = tonumber(os.getenv("AMBERVALE_BENCH_TOP") or "1")
local deep = os.getenv("AMBERVALE_BENCH_DEEP") == "1"

function setup(thread)
  thread:set("seed", math.random(1, 1000000000))
end

function init(args)
  math.randomseed(seed or os.time())
end

request = function()
  local body = base .. "&limit=50"
  if deep then
    body = body .. "&before=" .. math.random(1, top)
    if math.random(4) == 1 then body = body .. "&coin=usdt" end
  end
  return wrk.format("POST", "/api.php", {["Content-Type"] = "application/x-www-form-urlencoded; charset=utf-8"}, body)
end

done = function(summary, latency, requests)
  io.write(string.format("non-2xx or socket errors: %d\n", summary.errors.status + summary.errors.connect +
                         summary.errors.read + summary.errors.write + summary.errors.timeout))
end
