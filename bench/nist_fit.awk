# Reads the key=value lines of one fit_runner run and prints one line:
#   LRE ssqr evaluations seconds outcome SE-error SE-parameter
# LRE: the log relative error of the parameters p1..pn against the certified
# values `cert` (blank-separated), the least over the parameters, capped at
# 11, 0 when the run did not fit. SE-error: the largest relative difference
# of se1..sen from the certified standard deviations `sd` (blank-separated,
# may be empty: then "-"), and SE-parameter the parameter where it lies.
# With `exchangeable` = g > 0 the parameters form terms of g in a row that
# the model may hold in any order (the Lanczos sums of three exponentials:
# g = 2), and the fit is compared with the certified values in the order of
# its terms that gives the best LRE.
function lre_of(estimate, certified,    d, r, e) {
    d = estimate - certified; if (d < 0) d = -d
    r = certified; if (r < 0) r = -r
    e = (d == 0) ? 11 : (r == 0 ? -log(d) / log(10) : -log(d / r) / log(10))
    if (e > 11) e = 11
    if (e < 0) e = 0
    return e
}
# The least LRE of the fitted parameters with fitted term order[t] (t = 1..terms)
# compared with certified term t; sets at[j] to the fitted parameter
# compared with certified parameter j.
function lre_in_order(    t, k, j, e, least) {
    least = 11
    for (t = 1; t <= terms; t++)
        for (k = 1; k <= size; k++) {
            j = (t - 1) * size + k
            at[j] = (order[t] - 1) * size + k
            if (!(("p" at[j]) in v)) return 0
            e = lre_of(v["p" at[j]], c[j])
            if (e < least) least = e
        }
    return least
}
# Tries every order of the terms from place t on; keeps the best in best_at.
function try_orders(t,    u, swap, e, j) {
    if (t > terms) {
        e = lre_in_order()
        if (e > lre) { lre = e; for (j = 1; j <= m; j++) best_at[j] = at[j] }
        return
    }
    for (u = t; u <= terms; u++) {
        swap = order[t]; order[t] = order[u]; order[u] = swap
        try_orders(t + 1)
        swap = order[t]; order[t] = order[u]; order[u] = swap
    }
}
{ i = index($0, "="); if (i > 0) v[substr($0, 1, i - 1)] = substr($0, i + 1) }
END {
    outcome = ("outcome" in v) ? v["outcome"] : "failed"
    lre = 0
    m = split(cert, c, " ")
    size = (exchangeable > 0 && m % exchangeable == 0) ? exchangeable : m
    terms = m / size
    for (j = 1; j <= m; j++) best_at[j] = j
    if (outcome == "fitted") {
        lre = -1
        for (t = 1; t <= terms; t++) order[t] = t
        try_orders(1)
    }
    err = "-"; where = "-"
    if (split(sd, s, " ") == m && m > 0 && outcome == "fitted") {
        err = 0
        for (j = 1; j <= m; j++) {
            if (!(("se" best_at[j]) in v)) { err = "-"; where = "-"; break }
            d = (v["se" best_at[j]] - s[j]) / s[j]; if (d < 0) d = -d
            if (d >= err) { err = d; where = "b" j }
        }
        if (err != "-") err = sprintf("%.2e", err)
    }
    printf "%.1f %s %s %s %s %s %s\n", lre, ("ssqr" in v) ? v["ssqr"] : "-", \
        ("evaluations" in v) ? v["evaluations"] : "-", ("seconds" in v) ? v["seconds"] : "-", outcome, err, where
}
