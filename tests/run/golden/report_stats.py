"""Independent statistics of the fixed fit behind the report golden files.

Computes, without the program's code, the values the report derives from a
finished fit (Spearman r, p-values, MIC, eigenvalue threshold, tau, the
suspect and influential rows) and writes every number of the report to
report_numbers.txt, which report_layout.f90 formats into the golden files:

    python3 report_stats.py && gfortran -o /tmp/layout report_layout.f90 && /tmp/layout

With the argument "second" it prints the statistics of the second fit of
report_test.cpp instead (and writes nothing).
"""
import math
import struct
import sys

def f32(x):
    return struct.unpack('f', struct.pack('f', x))[0]

# ---- the fixed fit ----
n, k, nx = 8, 3, 1
mask = [1, 1, 0]
p = [0.06412, 212.6837, 0.0]
se = [0.00643, 6.94716, 0.0]
half = [0.01653, 17.8600, 0.0]
x = [0.02, 0.06, 0.11, 0.22, 0.56, 1.10, 2.00, 3.50]
y = [76.0, 97.0, 123.0, 159.0, 191.0, 207.0, 201.0, 139.0]
yfit = [47.2, 95.1, 130.5, 160.8, 188.0, 199.1, 205.0, 210.3]
w = [1.0, 1.0, 2.5, 1.0, 3.0, 1.0, 1.0, 1.0]
studres = [1.95, 0.12, -0.83, -0.11, 0.26, 0.64, -0.31, -2.9]
sse = 1321.9227
corr = [[1.0, 0.7651], [0.7651, 1.0]]
influence = [[62.5, 37.5], [37.5, 62.5]]   # (parameter, component)
eigen = [1.7651, -0.2349]
npos, nneg, nzero, lup, ldown = 4, 3, 0, 2, 3
table = [2.0, 1.0, 1.0] + [0.0] * 13
z = [-1.234, 2.58, 2.5799] + [0.0] * 12

# ---- the second fit of report_test.cpp (run with the argument "second") ----
# P3 is not significant, two rows carry weights above 2, and the residuals
# hold a clear outlier, an influential row and rows only Peirce marks.
SECOND = len(sys.argv) > 1 and sys.argv[1] == 'second'
if SECOND:
    n, k, nx = 12, 4, 1
    mask = [1, 1, 1, 0]
    p = [2.5, -0.8, 0.35, 1.0]
    se = [0.4, 0.05, 0.5, 0.0]
    x = [float(i) for i in range(1, 13)]
    y = [3.1, 4.0, 4.6, 6.3, 6.9, 8.2, 8.0, 10.4, 10.9, 12.3, 13.0, 13.8]
    yfit = [3.0, 4.1, 5.0, 6.0, 7.1, 8.0, 9.0, 10.0, 11.1, 12.0, 13.1, 14.0]
    w = [1.0, 2.0, 1.0, 1.0, 4.0, 1.0, 1.0, 1.0, 1.0, 2.5, 1.0, 1.0]
    studres = [0.3, -0.2, -2.9, 0.9, -0.4, 0.6, -0.5, 1.9, -0.3, 0.8, -0.2, -1.75]
    sse = 0.98

a = sum(1 for m in mask if m)
f = k - a

# ---- Spearman r with average ranks ----
def ranks(v):
    order = sorted(v)
    out = []
    for t in v:
        first = order.index(t) + 1
        last = len(order) - order[::-1].index(t)
        out.append((first + last) / 2)
    return out
rx, ry = ranks(y), ranks(yfit)
rho = 1 - 6 * sum((u - v) ** 2 for u, v in zip(rx, ry)) / ((n - 1) * n * (n + 1))

# ---- Student t distribution through the regularised incomplete beta ----
def betacf(aa, bb, xx):
    qab, qap, qam = aa + bb, aa + 1, aa - 1
    c, d = 1.0, 1 - qab * xx / qap
    d = 1 / d
    h = d
    for m in range(1, 500):
        m2 = 2 * m
        an = m * (bb - m) * xx / ((qam + m2) * (aa + m2))
        d = 1 / (1 + an * d); c = 1 + an / c; h *= d * c
        an = -(aa + m) * (qab + m) * xx / ((aa + m2) * (qap + m2))
        d = 1 / (1 + an * d); c = 1 + an / c; de = d * c; h *= de
        if abs(de - 1) < 1e-16:
            break
    return h

def betai(aa, bb, xx):
    if xx <= 0: return 0.0
    if xx >= 1: return 1.0
    bt = math.exp(math.lgamma(aa + bb) - math.lgamma(aa) - math.lgamma(bb) + aa * math.log(xx) + bb * math.log(1 - xx))
    if xx < (aa + 1) / (aa + bb + 2):
        return bt * betacf(aa, bb, xx) / aa
    return 1 - bt * betacf(bb, aa, 1 - xx) / bb

def t_cdf(t, df):
    tail = 0.5 * betai(df / 2, 0.5, df / (df + t * t))
    return 1 - tail if t > 0 else tail

def central(t, df):
    return 1 - betai(df / 2, 0.5, df / (df + t * t))

# ---- p-values ----
LO, HI = 2.2204460492503132e-20, 45035997272620007424.0
pv, se_out = [], []
for j in range(k):
    s = min(max(abs(se[j]), LO), HI)
    se_out.append(s)
    df = n - a
    t = abs(p[j] / s)
    q = abs(1 - t_cdf(t, df)) if df > 0 else 1.0
    pv.append(min(max(abs(q), LO), HI))

# ---- MIC ----
ssr = sum((u - v) ** 2 for u, v in zip(y, yfit))
c = sum(1 for j in range(k) if mask[j] and pv[j] > 0.05)
mm = n - a - 3
q = max(min(c, mm), 0)
A = max(n + k - f + q, 1)
B = max(n - k - f - q - 2, 1)
ww = [1.0 if v < 2.0 else v for v in w]
s1 = sum(((u - v) / g) ** 2 for u, v, g in zip(y, yfit, ww))
ybar = sum(yfit) / n
s2 = sum((v - ybar) ** 2 for v in yfit)
mic = math.log(s1 / s2) + f32(f32(A) / f32(B))

threshold = 0.01 * math.sqrt(sse / (n + k - f))

# ---- tau: Sidak-adjusted critical value of a normalised residual ----
m_cmp, nn = n, max(n - k, 1)
adj = 1 - (1 - 0.05) ** (1 / m_cmp)
fdf = nn - 1
lo_r, hi_r = 0.0, 1.0
for _ in range(200):
    r = (lo_r + hi_r) / 2
    t = r * math.sqrt(fdf / (1 - r * r))
    if central(t, fdf) < 1 - adj:
        lo_r = r
    else:
        hi_r = r
tau = math.sqrt(nn) * (lo_r + hi_r) / 2

# ---- Peirce's criterion (Gould's iteration) ----
def peirce(N, nsus, mq):
    if N <= 1: return 0.0
    Q = nsus ** (nsus / N) * (N - nsus) ** ((N - nsus) / N) / N
    tol = N * 2.2200000334640245e-16
    R, x2 = 1.0, 1.0
    for _ in range(30):
        L = R ** nsus or 9.999999974752427e-7
        lam = (Q ** N / L) ** (1 / (N - nsus))
        x2 = 1 + (N - mq - nsus) / nsus * (1 - lam * lam)
        if x2 < 0:
            x2 = 0
            break
        Rn = math.exp((x2 - 1) / 2) * math.erfc(math.sqrt(x2) / 1.4142135381698608)
        if abs(Rn - R) <= tol:
            break
        R = Rn
    return math.sqrt(x2)

sigma = math.sqrt(sum(r * r for r in studres) / (n - 1))
suspect = [False] * n
s, prev, half_n = 1, 1, n // 2
while prev < half_n:
    ratio = peirce(n, s, k)
    cnt = 0
    for i in range(n):
        if cnt > half_n: break
        if studres[i] ** 2 > (ratio * sigma) ** 2:
            suspect[i] = True
            cnt += 1
    if cnt < s or cnt > half_n or cnt == 0:
        break
    s, prev = cnt + 1, cnt
marks = [2 if abs(r) > tau else (1 if suspect[i] else 0) for i, r in enumerate(studres)]

# ---- numbers for the layout program ----
if not SECOND:
    with open('report_numbers.txt', 'w') as out:
        def line(*v):
            out.write(' '.join(repr(float(t)) if isinstance(t, float) else str(t) for t in v) + '\n')
        line(n, k, nx, a)
        line(*mask)
        line(*p); line(*se_out); line(*half); line(*pv)
        line(ssr, rho, mic, threshold, tau)  # the report prints the unweighted sum
        line(*[corr[i][j] for i in range(a) for j in range(a)])
        line(*[influence[i][j] for i in range(a) for j in range(a)])
        line(*[abs(e) for e in eigen])
        line(npos, nneg, nzero, lup, ldown)
        line(*table); line(*z)
        for i in range(n):
            line(x[i], y[i], yfit[i], studres[i], marks[i])
print('rho', rho, 'mic', mic, 'tau', tau, 'pv', pv, 'marks', marks, 'sigma', sigma)
