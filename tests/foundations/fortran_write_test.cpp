// Golden strings below were printed by the GNU Fortran compiler's run time
// (gfortran 12) for the same formats and values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "foundations/fortran_io.h"

namespace {

using fortran_io::write;

const double inf = std::numeric_limits<double>::infinity();
const double nan_value = std::numeric_limits<double>::quiet_NaN();

TEST(FortranWrite, Integers)
{
    EXPECT_EQ(write("(I3)", {1000}), "***");
    EXPECT_EQ(write("(I3)", {-99}), "-99");
    EXPECT_EQ(write("(I3)", {-100}), "***");
    EXPECT_EQ(write("(I5.3)", {7}), "  007");
    EXPECT_EQ(write("(I5.0)", {0}), "     ");
    EXPECT_EQ(write("(SP,I5,SS,I3,S,I3)", {7, 2, 3}), "   +7  2  3");
    EXPECT_EQ(write("(I0,'|',I0)", {0, -12}), "0|-12");
    EXPECT_EQ(write("(I0)", {-2147483647 - 1}), "-2147483648");
    EXPECT_EQ(write("(I0)", {123456789012LL}), "123456789012");
}

TEST(FortranWrite, FixedPoint)
{
    EXPECT_EQ(write("(F6.2)", {-0.001}), " -0.00");
    EXPECT_EQ(write("(F6.2)", {-0.0}), " -0.00");
    EXPECT_EQ(write("(F5.2,'|',F4.2)", {0.5, 0.5}), " 0.50|0.50");   // the zero goes when it does not fit
    EXPECT_EQ(write("(F3.1)", {-0.04}), "-.0");
    EXPECT_EQ(write("(F3.0,F3.0,F3.0,F3.0)", {0.5, 1.5, 2.5, -0.5}), " 0. 2. 2.-0.");   // ties to even
    EXPECT_EQ(write("(F5.2,F5.2,F5.2)", {0.125, 0.375, -0.125}), " 0.12 0.38-0.12");
    EXPECT_EQ(write("(F4.1)", {-0.05}), "-0.1");   // 0.05 lies just above the tie
    EXPECT_EQ(write("(F0.3,'|',F0.3,'|',F0.0,'|',F0.3)", {0.5, -0.5, 2.5, -1234.5678}), ".500|-.500|2.|-1234.568");
    EXPECT_EQ(write("(F26.1)", {1e23}), " 99999999999999991611392.0");
    EXPECT_EQ(write("(F40.30)", {0.1}), "        0.100000000000000005551115123126");
    EXPECT_EQ(write("(F12.9)", {0.1f}), " 0.100000001");   // a float prints its own value
    EXPECT_EQ(write("(F7.3)", {-0.0005}), " -0.001");
    EXPECT_EQ(write("(F14.3)", {1e12}), "**************");
}

TEST(FortranWrite, ExponentForms)
{
    EXPECT_EQ(write("(E10.4,'|',E9.4,'|',E10.4,'|',E11.4)", {1.0, 1.0, -1.0, -1.0}),
              "0.1000E+01|.1000E+01|-.1000E+01|-0.1000E+01");
    EXPECT_EQ(write("(E10.4)", {0.0}), "0.0000E+00");
    EXPECT_EQ(write("(E12.4E3)", {1e-100}), " 0.1000E-099");
    EXPECT_EQ(write("(E12.4E1)", {1e10}), "************");
    EXPECT_EQ(write("(E10.4)", {1e-100}), "0.1000E-99");
    EXPECT_EQ(write("(1p,E10.3)", {1e-100}), " 1.000-100");
    EXPECT_EQ(write("(E12.5)", {1e23}), " 0.10000E+24");
    EXPECT_EQ(write("(ES10.3,ES10.3)", {12345.0, -0.00012345}), " 1.234E+04-1.234E-04");
    EXPECT_EQ(write("(ES25.17)", {5e-324}), "  4.94065645841246544-324");
    EXPECT_EQ(write("(ES10.3E1)", {5e-10}), "**********");
    EXPECT_EQ(write("(1X,1p,ES7.2)", {5.0}), " *******");
    EXPECT_EQ(write("(EN12.3,EN12.3,EN12.3,EN12.3)", {12345.0, 0.00012345, 999.9999, 0.0}),
              "  12.345E+03 123.450E-06   1.000E+03   0.000E+00");
    EXPECT_EQ(write("(EN10.2,EN10.2)", {-0.0, 1e-7}), " -0.00E+00100.00E-09");
    EXPECT_EQ(write("(D12.4,D12.4,1P,D12.4)", {1.0, 1e300, 1e-300}), "  0.1000D+01  0.1000+301  1.0000-300");
}

TEST(FortranWrite, ScaleFactorStaysInForce)
{
    EXPECT_EQ(write("(2P,E12.4,'|',-2P,E12.4)", {1234.5, 1234.5}), "  12.345E+02|  0.0012E+06");
    EXPECT_EQ(write("(3P,F10.3,-2P,F10.3)", {1.2345, 1234.5}), "  1234.500    12.345");
    EXPECT_EQ(write("(2P,E12.4,F10.3,E12.4)", {1234.5, 1.5, 0.5}), "  12.345E+02   150.000  50.000E-02");
    // kP survives format reversion.
    EXPECT_EQ(write("(1P,E10.3)", {1.0, 2.0}), " 1.000E+00\n 2.000E+00");
    EXPECT_THROW(write("(5P,E10.2)", {1.0}), fortran_io::FormatError);
}

TEST(FortranWrite, GeneralForm)
{
    EXPECT_EQ(write("(G10.4)", {-0.5}), "-.5000    ");
    EXPECT_EQ(write("(1p,G11.5)", {12.5}), " 12.500    ");
    EXPECT_EQ(write("(G10.4)", {0.0}), " 0.000    ");
    EXPECT_EQ(write("(G10.3,'|',G10.3,'|',G10.3,'|',G10.3,'|',G10.3)", {0.0995, 0.1, 999.4, 999.5, 1000.0}),
              " 0.995E-01| 0.100    |  999.    | 0.100E+04| 0.100E+04");
    EXPECT_EQ(write("(G8.3,'|',G8.3)", {1.5, -1.5}), "1.50    |********");
    EXPECT_EQ(write("(G12.4E3,'|',G9.2,'|',G9.2,'|',G3.1)", {123.45, 1e100, 1e-100, 1.0}),
              "  123.5     | 0.10+101| 0.10E-99|***");
    EXPECT_EQ(write("(G14.6)", {-3.25e-5}), " -0.325000E-04");
    EXPECT_EQ(write("(G15.7,'|',G15.7)", {0.00001, 2.5}), "  0.1000000E-04|   2.500000    ");
    // The bound 0.95 computed in double equals the double 0.95: fixed form.
    EXPECT_EQ(write("(G10.1)", {0.95}), "    1.    ");
    EXPECT_EQ(write("(1x, 1pE14.6, 3x, G12.6)", {1234.5678, 0.987654321}), "   1.234568E+03   0.987654    ");
    // Gw.0 edits as kPEw.0, which needs a positive scale factor.
    EXPECT_EQ(write("(1p,G11.0,'|',1p,G6.0,'|',1p,G9.0E3)", {3.1078347141698974, 0.104, 6.31e-6}),
              "     3.E+00|1.E-01|  6.E-006");
    EXPECT_EQ(write("(1p,G5.0)", {-0.1}), "*****");
    EXPECT_THROW(write("(G11.0)", {3.1}), fortran_io::FormatError);
    // G of other types edits as I, A and L.
    EXPECT_EQ(write("(G10.4,'|',G10.4,'|',G10.4,'|',G5.1)", {12345, "abc", true, 7}),
              "     12345|       abc|         T|    7");
}

TEST(FortranWrite, GeneralZeroWidth)
{
    EXPECT_EQ(write("(G0)", {0.0}), "0.0000000000000000");
    EXPECT_EQ(write("(G0)", {-0.0}), "-0.0000000000000000");
    EXPECT_EQ(write("(G0)", {1.0}), "1.0000000000000000");
    EXPECT_EQ(write("(G0)", {0.5}), "0.50000000000000000");
    EXPECT_EQ(write("(G0)", {0.1}), "0.10000000000000001");
    EXPECT_EQ(write("(G0)", {1e-5}), "0.10000000000000001E-4");
    EXPECT_EQ(write("(1p,G0)", {1e-5}), "1.0000000000000001E-5");
    EXPECT_EQ(write("(1P,G0,'|',1P,G0)", {1e17, 0.1}), "1.0000000000000000E+17|0.10000000000000001");
    EXPECT_EQ(write("(G0)", {1e5}), "100000.00000000000");
    EXPECT_EQ(write("(G0)", {1e16}), "10000000000000000.");
    EXPECT_EQ(write("(G0)", {1e17}), "0.10000000000000000E+18");
    EXPECT_EQ(write("(G0)", {-1e-100}), "-0.10000000000000000E-99");
    EXPECT_EQ(write("(G0)", {1e300}), "0.10000000000000001E+301");
    EXPECT_EQ(write("(G0)", {5e-324}), "0.49406564584124654E-323");
    EXPECT_EQ(write("(-1P,G0)", {0.0625}), "0.06250000000000000");   // exponent 0 is left out
    EXPECT_EQ(write("(G0,'|',G0,'|',G0,'|',G0)", {1.5f, 0.1f, 1e-5f, std::numeric_limits<float>::max()}),
              "1.50000000|0.100000001|0.999999975E-5|0.340282347E+39");
    EXPECT_EQ(write("(G0,'|',G0,'|',G0,'|',G0)", {42, -42, "abc", true}), "42|-42|abc|T");
    EXPECT_EQ(write("( 100(1p,G0,',',3X) )", {1.0, 2.5, -3e-7}),
              "1.0000000000000000,   2.5000000000000000,   -2.9999999999999999E-7,");
}

TEST(FortranWrite, NanAndInfinity)
{
    EXPECT_EQ(write("(G0,'|',F10.3,'|',F2.1,'|',F3.1,'|',G12.4)", {nan_value, nan_value, nan_value, nan_value, nan_value}),
              "NaN|       NaN|**|NaN|         NaN");
    EXPECT_EQ(write("(G0,'|',F10.3,'|',F2.1,'|',F3.1,'|',F8.1,'|',F7.1,'|',E12.4)", {inf, inf, inf, inf, inf, inf, inf}),
              "Inf|  Infinity|**|Inf|Infinity|    Inf|    Infinity");
    EXPECT_EQ(write("(G0,'|',F10.3,'|',F3.1,'|',F4.1,'|',F8.1,'|',F9.1)", {-inf, -inf, -inf, -inf, -inf, -inf}),
              "-Inf| -Infinity|***|-Inf|    -Inf|-Infinity");
    EXPECT_EQ(write("(SP,G0,'|',F10.3,'|',F3.1,'|',F4.1,'|',F8.1,'|',F9.1)", {inf, inf, inf, inf, inf, inf}),
              "+Inf| +Infinity|Inf|+Inf|    +Inf|+Infinity");
}

TEST(FortranWrite, TextLogicalAndPositioning)
{
    EXPECT_EQ(write("(L3,'|',L1,'|',A3,'|',A8,'|',A,'|',A1)", {true, false, "abcdef", "ab", "xyz  ", "Q"}),
              "  T|F|abc|      ab|xyz  |Q");
    EXPECT_EQ(write("(A,T10,A,TL3,A,TR2,A)", {"abc", "def", "X", "Y"}), "abc      XefY");
    EXPECT_EQ(write("(A,5X)", {"ab"}), "ab");   // no blanks left by a final move
    EXPECT_EQ(write("(A,5X,'|')", {"ab"}), "ab     |");
    EXPECT_EQ(write("(1X)", {}), "");
    EXPECT_EQ(write("('it''s',\"a \"\"q\"\"\")", {}), "it'sa \"q\"");
    EXPECT_EQ(write("(6H ITN #,I4, 8H EVALN *,I4,13H  SUMSQUARES=,1PE16.8)", {3, 17, 1.25e-3}),
              " ITN #   3 EVALN *  17  SUMSQUARES=  1.25000000E-03");
    EXPECT_EQ(write("(/1X,'*** FATAL ERROR -- MUST HAVE N>4 AND N>M IN DWESD'/)", {}),
              "\n *** FATAL ERROR -- MUST HAVE N>4 AND N>M IN DWESD\n");
    EXPECT_EQ(write("(1X,A,2/,A)", {"a", "b"}), " a\n\nb");
    EXPECT_EQ(write("I4", {12}), "  12");   // parentheses are optional
    EXPECT_EQ(write("(7x,A1,I1,A4)", {'P', 3, ' '}), "       P3    ");   // a char is a one-character text
    kalvor::Text<6> title("Model:");
    EXPECT_EQ(write("(/1X,A6)", {title}), "\n Model:");
}

TEST(FortranWrite, RepeatsReversionAndEnd)
{
    EXPECT_EQ(write("(3F8.2)", {1.0, 2.0, 3.0, 4.0, 5.0}), "    1.00    2.00    3.00\n    4.00    5.00");
    EXPECT_EQ(write("(2(I3,1X))", {1, 2, 3, 4, 5}), "  1   2\n  3   4\n  5");
    EXPECT_EQ(write("(I3,2(I3,\"x\"),\"end\")", {1, 2, 3, 4, 5, 6, 7}), "  1  2x  3xend\n  4x  5xend\n  6x  7xend");
    EXPECT_EQ(write("(1x,a,/,(5x,4es15.7))", {"b = ", 1.0, 2.0, 3.0, 4.0, 5.0}),
              " b = \n       1.0000000E+00  2.0000000E+00  3.0000000E+00  4.0000000E+00\n       5.0000000E+00");
    EXPECT_EQ(write("(1x,*(1p,G14.6),A13)", {1.0, 2.0, 3.0}), "    1.00000       2.00000       3.00000    ");
    EXPECT_EQ(write("(\"a\",:,\"b\",I2,:,\"c\")", {}), "a");
    EXPECT_EQ(write("(\"a\",:,\"b\",I2,:,\"c\")", {5}), "ab 5");
    EXPECT_EQ(write("(A,I2,\"z\")", {"q"}), "q");
    EXPECT_EQ(write("(I2,\"|\",2(F4.1,\"/\"),\"|\")", {1, 2.0}), " 1| 2.0/");
    EXPECT_EQ(write("(1X,'=',1X,I5)", {12}), " =    12");
    EXPECT_EQ(write("(A4,I0,A2,I0,A1,I0,A5)", {"(I3,", 3, "(F", 10, ".", 4, ",1x))"}), "(I3,3(F10.4,1x))");
    const std::vector<double> row{1.0, -1e-300, 0.0};
    EXPECT_EQ(fortran_io::write_reals("(10(ES14.6,1X))", row), "  1.000000E+00  -1.000000-300   0.000000E+00");
}

TEST(FortranWrite, UnitContinuesOpenRecords)
{
    fortran_io::Unit u;
    u.write("(5X,A8,4X$)", {"[Masked]"});
    EXPECT_TRUE(u.pending());
    u.write("(A1)", {"|"});   // the pending 4X leaves nothing
    u.write("(3X,1p,E10.3,4X$)", {1.0});
    u.write("(3X,1p,E10.3,4X$)", {2.0});
    EXPECT_EQ(u.take(), "     [Masked]|\n");
    EXPECT_EQ(u.text(), "    1.000E+00    2.000E+00");
    u.write("(A1)", {" "});
    EXPECT_FALSE(u.pending());
    EXPECT_EQ(u.take(), "    1.000E+00    2.000E+00 \n");
    u.write("(A,2X$)", {"end"});
    EXPECT_THROW(u.write("(I3)", {1.5}), fortran_io::FormatError);
    EXPECT_EQ(u.text(), "end");   // a failed write leaves nothing behind
    u.end_record();
    EXPECT_EQ(u.take(), "end\n");
}

TEST(FortranWrite, BadFormatsAndMismatchesThrow)
{
    using fortran_io::FormatError;
    EXPECT_THROW(write("(F10)", {1.0}), FormatError);
    EXPECT_THROW(write("(I3", {1}), FormatError);
    EXPECT_THROW(write("(I3))", {1}), FormatError);
    EXPECT_THROW(write("(Q5)", {1}), FormatError);
    EXPECT_THROW(write("('abc)", {}), FormatError);
    EXPECT_THROW(write("(*('a'))", {1}), FormatError);
    EXPECT_THROW(write("('a')", {1}), FormatError);   // no descriptor for the item
    EXPECT_THROW(write("(I3.5)", {1}), FormatError);
    EXPECT_THROW(write("(I3)", {1.5}), FormatError);
    EXPECT_THROW(write("(F5.2)", {3}), FormatError);
    EXPECT_THROW(write("(A)", {1}), FormatError);
    EXPECT_THROW(write("(L2)", {"T"}), FormatError);
}

TEST(FortranWrite, ListDirected)
{
    using fortran_io::write_list;
    EXPECT_EQ(write_list({"error in gasdev"}), " error in gasdev");
    EXPECT_EQ(write_list({42, -7}), "          42          -7");
    EXPECT_EQ(write_list({1.5, -0.1, 1e-5, 1e20, 0.0}),
              "   1.5000000000000000      -0.10000000000000001        1.0000000000000001E-005"
              "   1.0000000000000000E+020   0.0000000000000000     ");
    EXPECT_EQ(write_list({1.5f, 0.1f, 1e-5f, 1e20f}), "   1.50000000      0.100000001       9.99999975E-06   1.00000002E+20");
    EXPECT_EQ(write_list({true, false}), " T F");
    EXPECT_EQ(write_list({"a", "b", 1, "c", 2.5, "d"}), " ab           1 c   2.5000000000000000      d");
    EXPECT_EQ(write_list({123456789012LL}), "         123456789012");
}

}  // namespace
