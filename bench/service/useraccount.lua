-- One account refresh, as the client's dashboard sends it every 20 seconds.
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded; charset=utf-8"
wrk.body = os.getenv("AMBERVALE_BENCH_BODY")
