#!/usr/bin/env bash
# Writes the largest table the program takes, for speed measurements:
# 1000 rows, 3 X variables and the 8-parameter model
#   Y = P1*EXP(-P2*X1)+P3*SIN(P4*X2)+P5*X3^2+P6*LOG(X1+1)+P7*X1*X2/(1+X3)+P8
# at P = 5, 0.7, 2, 1.3, 0.5, 1.5, 0.8, 3 with X1 in [0, 5), X2 in [0, 6),
# X3 in [0, 2) and noise in [-0.05, 0.05), all drawn from a Park-Miller
# generator with seed 20261207 (exact in awk's doubles), so the file is the
# same on every machine.  The fit starts at P = 4, 0.5, 1.5, 1.2, 0.3, 1, 0.5, 2.
#
#   bench/large_table.sh > Large1000.DAT      (bench/Large1000.DAT is its output)
awk 'function draw() { s = (s * 16807) % 2147483647; return s / 2147483647 }
BEGIN {
    s = 20261207
    print "Y=P1*EXP(-P2*X1)+P3*SIN(P4*X2)+P5*X3^2+P6*LOG(X1+1)+P7*X1*X2/(1+X3)+P8"
    print "4.0  0.5  1.5  1.2  0.3  1.0  0.5  2.0   !<-- Initial parameter values"
    print "-1e+06  -1e+06  -1e+06  -1e+06  -1e+06  -1e+06  -1e+06  -1e+06   !<-- Lower limits of parameters"
    print "1e+06  1e+06  1e+06  1e+06  1e+06  1e+06  1e+06  1e+06   !<-- Upper limits of parameters"
    print "TRUE  TRUE  TRUE  TRUE  TRUE  TRUE  TRUE  TRUE   !<-- Masked parameters = FALSE"
    for (i = 1; i <= 1000; i++) {
        x1 = 5 * draw(); x2 = 6 * draw(); x3 = 2 * draw()
        y = 5 * exp(-0.7 * x1) + 2 * sin(1.3 * x2) + 0.5 * x3 * x3 + 1.5 * log(x1 + 1) + 0.8 * x1 * x2 / (1 + x3) + 3
        printf "%.6f  %.6f  %.6f  %.6f\n", x1, x2, x3, y + (draw() - 0.5) * 0.1
    }
    print "END     !<-- Enter END TO EXIT"
}'
