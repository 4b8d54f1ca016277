# Reads the key=value lines of one fit_runner run and prints one line:
#   LRE ssqr evaluations seconds outcome SE-error SE-parameter
# LRE: the log relative error of the parameters p1..pn against the certified
# values `cert` (blank-separated), the least over the parameters, capped at
# 11, 0 when the run did not fit. SE-error: the largest relative difference
# of se1..sen from the certified standard deviations `sd` (blank-separated,
# may be empty: then "-"), and SE-parameter the parameter where it lies.
function lre_of(estimate, certified,    d, r, e) {
    d = estimate - certified; if (d < 0) d = -d
    r = certified; if (r < 0) r = -r
    e = (d == 0) ? 11 : (r == 0 ? -log(d) / log(10) : -log(d / r) / log(10))
    if (e > 11) e = 11
    if (e < 0) e = 0
    return e
}
{ i = index($0, "="); if (i > 0) v[substr($0, 1, i - 1)] = substr($0, i + 1) }
END {
    outcome = ("outcome" in v) ? v["outcome"] : "failed"
    lre = 0
    m = split(cert, c, " ")
    if (outcome == "fitted") {
        lre = 11
        for (j = 1; j <= m; j++) {
            if (!(("p" j) in v)) { lre = 0; break }
            e = lre_of(v["p" j], c[j])
            if (e < lre) lre = e
        }
    }
    err = "-"; at = "-"
    if (split(sd, s, " ") == m && m > 0 && outcome == "fitted") {
        err = 0
        for (j = 1; j <= m; j++) {
            if (!(("se" j) in v)) { err = "-"; at = "-"; break }
            d = (v["se" j] - s[j]) / s[j]; if (d < 0) d = -d
            if (d >= err) { err = d; at = "b" j }
        }
        if (err != "-") err = sprintf("%.2e", err)
    }
    printf "%.1f %s %s %s %s %s %s\n", lre, ("ssqr" in v) ? v["ssqr"] : "-", \
        ("evaluations" in v) ? v["evaluations"] : "-", ("seconds" in v) ? v["seconds"] : "-", outcome, err, at
}
