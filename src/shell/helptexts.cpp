#include "shell/helptexts.h"

#include <initializer_list>

namespace helptexts {

namespace {

std::string join(std::initializer_list<std::string_view> lines) {
    std::string text;
    bool first = true;
    for (const std::string_view line : lines) {
        if (!first) text += "\r\n";
        text += line;
        first = false;
    }
    return text;
}

constexpr std::string_view kTitleLine = "*Kalvor_UDF\u2122 - Nonlinear Regression Curve-Fitting";

// The four lines that describe the program in the splash, the about box and
// the methods window.
constexpr std::string_view kDescription1 = "Kalvor_UDF is a nonlinear regression optimization program using";
constexpr std::string_view kDescription2 = "Hooke-Jeeves, Random Search, Conjugate Gradient, Simplex,";
constexpr std::string_view kDescription3 = "Differential Evolution, Marquardt-Levenberg & Variable Metric";
constexpr std::string_view kDescription4 = "to find the curve that most closely matches the dataset.";

std::string description() { return join({kDescription1, kDescription2, kDescription3, kDescription4}); }

std::string format_notes(std::initializer_list<std::string_view> paragraph) {
    std::string text = join({"Data file format:", ""});
    for (const std::string_view line : paragraph) {
        text += "\r\n";
        text += line;
    }
    return text;
}

}  // namespace

std::string splash_text() {
    return join({
        kTitleLine,
        "",
        description(),
        "",
        "\u00a9 The Kalvor_UDF developers. All rights reserved.",
        "Made by the Kalvor_UDF project for scientists and engineers",
        "who fit models to measured data.",
        "Developed in C++ for Linux desktops.",
        "Web page: see the README of the Kalvor_UDF sources.",
    });
}

std::string about_text() {
    return join({
        "*Kalvor_UDF\u2122  - Nonlinear Regression Curve-Fitting",
        description(),
        "",
        "Version 2.5",
        "Fits user-defined models of up to 8 parameters (P1..P8)",
        "and 3 independent variables (X1..X3) by least squares.",
    });
}

std::string results_help() {
    return join({
        "Kalvor_UDF uses nonlinear regression to curve-fit data to",
        "the chosen model. The program adjusts the model parameters",
        "so that the model curve comes as close as possible to the",
        "data points. When no further improvement in the fit can be",
        "found, the results are reported here.",
        "",
        "Look at the residual plots: the residuals of a good fit",
        "scatter randomly around zero, without trends or runs.",
        "",
        "The Model-Information-Criterion (MIC) is a modification of",
        "the Akaike Information Criterion: when models are compared",
        "on the same data, the model with the smaller MIC is the",
        "better one. Negative values are allowed and count as smaller.",
        "",
        "The standard error of each parameter should be small compared",
        "with its value: a coefficient of variation below 25% marks a",
        "well-determined parameter. A p-value below 0.05 says that the",
        "parameter differs significantly from zero.",
        "",
        "Eigenvalues of the parameter matrix should be above 1.E-05;",
        "smaller ones point to parameters the data cannot determine.",
        "A parameter correlation near +1 or -1 says that two parameters",
        "are redundant: the model may have more parameters than the",
        "data support.",
        "",
        "A fit may end in a local minimum. Run Restart, change the",
        "initial values or the Level of Difficulty, and compare the",
        "sums of squares: the lowest one is the best fit found.",
        "",
        "How well a fit is determined depends on the model, the",
        "number of data points, the range of the independent variable,",
        "parameter guesses, the data noise, and model parameters.",
    });
}

std::string xydata_help() {
    return join({
        "Kalvor_UDF uses nonlinear regression to curve-fit data to",
        "the chosen model. The table lists for every data point the",
        "independent variable X, the observed Y, the calculated Ycalc",
        "and the normalized Studentized residual.",
        "",
        "A Studentized residual is the residual divided by its",
        "estimated standard deviation, which takes the leverage Hii",
        "of the point into account; normalized, it is divided again",
        "by the standard deviation of all Studentized residuals.",
        "",
        "Points marked as influential exceed the Thompson tau",
        "criterion:",
        "    |Residuals/(RMS*Sqrt(1-Hii))/StdDevRes| > tau criterion",
        "where RMS is the root-mean-square residual and tau is",
        "computed from the Student t critical value at alpha = 0.05",
        "with df = n-p degrees of freedom (n data points, p parameters).",
        "",
        "Such points deserve a second look: they may be outliers or",
        "show that the model does not describe the data there.",
        "Use File, Save as CSV Data to write the table to a file.",
    });
}

TextWindow example1() {
    return {
        "Example input data file format: Michaelis-Menten.dat",
        21,
        join({
            "y = P2*X1/(P1 + X1)",
            "10.        100.       !<-- Initial parameter values",
            "1.E-06     1.E-06     !<-- Lower limits of parameters",
            "1.E+06     1.E+06     !<-- Upper limits of parameters",
            "TRUE     TRUE         !<-- Masked parameters = FALSE",
            "  5      3.2     !<-- Data in columns: X1, Y",
            " 10      15.9     !<-- Curve #1",
            " 15      35.8",
            " 20      45.1",
            " 25      69.1",
            " 30      75.6",
            " 35      76.6",
            " 40      83.7",
            " 45      80.5",
            " 50      90.0",
            " 55      87.2",
            " 60      94.3",
            " 65      99.0",
            " 70      90.7",
            " 75      88.6",
            " 80      97.0",
            " 85      101.9",
            " 90      90.8",
            " 95      90.5",
            "100      105.0",
            "END     !<-- Enter END TO EXIT",
        }),
        format_notes({
            "The first line holds the user-defined model (UDF),",
            "y = P2*X1/(P1 + X1), with two adjustable parameters,",
            "P1 and P2. Line 2 holds their initial values, lines 3",
            "and 4 the lower (1.E-06) and upper (1.E+06) limits.",
            "Line 5 holds the masks: TRUE lets a parameter vary,",
            "a mask of FALSE holds it at its initial value.",
            "The data follow in columns, one row per point: the",
            "independent variable X1 first and Y last; all 20 rows",
            "form one curve. Lines 2 on may end in a note after \"!\".",
            "The last line of the data file must contain the word \"END\" to finish.",
        }),
    };
}

TextWindow example2() {
    return {
        "Example input data file format: Hougen.dat",
        21,
        join({
            "y=(P1*X2-X3/P5)/(1.0+P2*X1+P3*X2+P4*X3)",
            "40.     30.     20.     10.     0.5     !<-- Initial parameter values",
            "1.E-06  1.E-06  1.E-06  1.E-06  1.E-06  !<-- Lower limits of parameters",
            "1.E+06  1.E+06  1.E+06  1.E+06  1.E+06  !<-- Upper limits of parameters",
            "TRUE   TRUE    TRUE    TRUE    FALSE    !<-- Masked parameters = FALSE",
            "  25   100    20   1.83   !<-- Curve #1: X2 sets the curve #",
            "  50   100    40   1.28",
            " 100   100    80   0.79",
            " 200   100   120   0.45",
            " 400   100   180   0.25",
            "  25   200    20   2.38   !<-- Curve #2: X2 sets the curve #",
            "  50   200    40   1.82",
            " 100   200    80   1.25",
            " 200   200   120   0.81",
            " 400   200   180   0.47",
            "  25   400    20   2.75   !<-- Curve #3: X2 sets the curve #",
            "  50   400    40   2.36",
            " 100   400    80   1.83",
            " 200   400   120   1.32",
            " 400   400   180   0.82",
            "END     !<-- Enter END TO EXIT",
        }),
        format_notes({
            "The first line holds the UDF model function with five",
            "adjustable parameters, P1 to P5, and three independent",
            "variables, X1 to X3. Line 2 holds the initial values,",
            "lines 3 and 4 the lower (1.E-06) and upper (1.E+06)",
            "limits. Line 5 holds the masks: P5 is FALSE and held",
            "at 0.5; the other four are fitted.",
            "The data follow in columns X1, X2, X3 and Y: the",
            "independent variables first and Y last. X2 sets the",
            "curve: three curves of five rows each.",
            "The last line of the data file must contain the word \"END\" to finish.",
        }),
    };
}

TextWindow example3() {
    return {
        "Example input data file format: Michaelis-Menten 3 Curves",
        30,
        join({
            "y=P2*(X2=1)/(1+P1/X1)+P4*(X2=2)/(1+P3/X1)+P6*(X2=3)/(1+P5/X1)",
            "1.0     1.0     1.0     1.0     1.0     1.0     !<-- Initial parameter values",
            "1.E-6   1.E-6   1.E-6   1.E-6   1.E-6   1.E-6   !<-- Lower limits of parameters",
            "1.E+6   1.E+6   1.E+6   1.E+6   1.E+6   1.E+6   !<-- Upper limits of parameters",
            "TRUE    TRUE    TRUE    TRUE    TRUE    TRUE    !<--Masked parameters: T/F",
            "  10.0   1   33.33   !<-- Curve #1: X2 sets the curve 1",
            "  20.0   1   50.00",
            "  30.0   1   60.00",
            "  40.0   1   66.67",
            "  50.0   1   71.43",
            "  60.0   1   75.00",
            "  70.0   1   77.78",
            "  80.0   1   80.00",
            "  90.0   1   81.82",
            " 100.0   1   83.33",
            "  10.0   2   26.67   !<-- Curve #2: X2 sets the curve 2",
            "  20.0   2   40.00",
            "  30.0   2   48.00",
            "  40.0   2   53.33",
            "  50.0   2   57.14",
            "  60.0   2   60.00",
            "  70.0   2   62.22",
            "  80.0   2   64.00",
            "  90.0   2   65.45",
            " 100.0   2   66.67",
            "  10.0   3   20.00   !<-- Curve #3: X2 sets the curve 3",
            "  20.0   3   30.00",
            "  30.0   3   36.00",
            "  40.0   3   40.00",
            "  50.0   3   42.86",
            "  60.0   3   45.00",
            "  70.0   3   46.67",
            "  80.0   3   48.00",
            "  90.0   3   49.09",
            " 100.0   3   50.00",
            "END     !<-- Enter END TO EXIT",
        }),
        format_notes({
            "The first line holds the UDF model: three",
            "Michaelis-Menten curves in one model, six adjustable",
            "parameters P1 to P6. The logical terms (X2=1), (X2=2)",
            "and (X2=3) are 1 on the rows of their curve and 0",
            "elsewhere. Lines 2 to 4 hold the initial values and the",
            "lower (1.E-6) and upper (1.E+6) limits; line 5 holds the",
            "masks (TRUE = fitted, FALSE = held).",
            "The data follow in columns X1, X2 and Y: the independent",
            "variables first and Y last; X2 sets the curve.",
            "The last line of the data file must contain the word \"END\" to finish.",
        }),
    };
}

TextWindow operators() {
    return {
        "Mathematical and Logical Operators",
        25,
        join({
            "MATHEMATICAL: +, -, *, /, ^ or **",
            "",
            "LOGICAL:",
            "   equal                     =   (P1=P2)",
            "   not equal                 #   (P1#P2)",
            "   less than                 <   (P1<P2)",
            "   greater than              >   (P1>P2)",
            "   less than or equal to     [   (P1[P2)",
            "   greater than or equal to  ]   (P1]P2)",
            "",
            "MAXIMUM/MINIMUM VALUE:",
            "   minimum(a,b)              :   (P1:P2)",
            "   maximum(a,b)              !   (P1!P2)",
            "",
            "FUNCTIONS:",
            "ABS(), EXP(), LOG10(), LOG(), SQRT(), SIN(), COS(), TAN(),",
            "ASIN(), ACOS(), ATAN(), SINH(), COSH(), TANH(), OMEGW()",
            "",
            "CONSTANTS:",
            "Pi = 3.1415926...",
            "Eu = 2.7182818...",
            "VL = lower limit: 1E-16",
            "VH = upper limit: 1E+16",
            "RC = gas constant: 1.9872041 cal/(K*mol)",
            "RJ = gas constant: 8.3144621 J/(K*mol)",
            "K1 = Kelvin: 273.15 (0 C)",
            "K2 = Kelvin: 298.15 (25 C)",
            "DG = 57.2957795.. radians to degrees",
        }),
        join({
            "EXAMPLES:",
            "",
            "User-defined function (UDF)",
            "where P1, P2, P3,...,P8 are parameters to be fitted,",
            "and X1, X2, and X3 are the independent variables.",
            "",
            "NOTE: P1...P8 and X1...X3 MUST be used in sequential order.",
            "",
            "Logical Operators:",
            "(P1<P2)      -> P1 less than P2",
            "(P1[10.)     -> P1 less than or equal to 10.",
            "(P2=0.)      -> P2 equal 0.",
            "(P2#0.)      -> P2 not equal 0.",
            "",
            "IF (Logical expression is true) THEN 1.0 ELSE 0.0",
            "",
            "y=1.0/((P1-P2)+(P1=P2)*P2) if equal then 1./P1, else 1./(P1-P2)",
            "y=1.0/(P1-P2*(P1#P2)) if not equal then 1./(P1-P2), else 1./P1",
            "y= (P1!P2)/(P1-P2)  if P1>P2 then P1/(P1-P2), else P2/(P1-P2)",
            "",
            "Minimum & Maximum Operators:",
            "(P1:100)     -> Min(P1,100.)",
            "(P2!P1)      -> Max(P2,P1)",
        }),
    };
}

TextWindow overview() {
    return {
        "Kalvor_UDF Overview:",
        26,
        join({
            "",
            "Nonlinear regression adjusts the parameters of a model so that the model",
            "curve comes as close as possible to the observed data. Kalvor_UDF fits a",
            "user-defined function (UDF) by least squares with a cascade of methods and",
            "reports the fit with its statistics; among competing models, the smallest",
            "Model Information Criterion (MIC) indicates the closest fit.",
            "A UDF can have up to 8 parameters (P1...P8) and 3 independent",
            "variables (X1, X2, X3).",
            "",
            "The data file is plain text. Its first line holds the model, e.g.",
            "y = P2*X1/(P1 + X1). The second line holds the initial estimates of the",
            "parameters, the third and fourth their lower and upper bounds, and the",
            "fifth their masks: TRUE makes a parameter active (fitted), FALSE makes it",
            "inactive (held at its initial value). The X and Y rows follow, one data",
            "point per row, the X columns first and Y last, up to the word END.",
            "",
            "The run computes the derivatives of the model numerically and searches for",
            "the parameters with the minimum sum of squared residuals (SSR). A model",
            "can have local minima: good initial estimates and sensible bounds keep",
            "the search in the right region, and the bounds also keep parameters",
            "physically meaningful. When a fit looks doubtful, re-run it (Restart)",
            "from the parameters obtained, or raise the level of difficulty.",
        }),
        join({
            "Steps to run the analysis:",
            "1. Create an external text data file containing:",
            "   1.1 1st line: User-defined function (UDF)",
            "   1.2 2nd line: Parameter values",
            "   1.3 3rd line: Lower bounds of parameter values",
            "   1.4 4th line: Upper bounds of parameter values",
            "   1.5 5th line: TRUE or FALSE mask of parameter (Fixed=FALSE)",
            "      1.5.1 Masks can be FALSE, F, false, f, or .FALSE.",
            "   1.6 6th line: X,Y data in columns",
            "   1.7 7th line: Word END is entered after the last data row",
            "2. The delimiters for data file values are a space or comma.",
            "3. UDF parameters (P1..P8) must be in sequence (Do not skip one)",
            "4. Independent variables (X1..X3) must also be in sequence",
            "   4.1 UDF(X1,X3, P1,P2) or UDF(X1, P1,P2,P4) is NOT allowed",
            "5. Options: For hard to fit models choose DIFFICULT (default=MODERATE)",
            "6. Options: Weighting of data: Reweight, 1/y^2, Robust, ResStdev/ABS(Res)",
            "7. Select RUN to execute curve-fitting of the selected data file.",
            "8. Scroll down to review the results of the curve-fit.",
            "9. Select Display Results to review results.",
            "10. Select type of Plot to display the plotted data.",
        }),
    };
}

TextWindow methods() {
    return {
        "Kalvor_UDF - Nonlinear Regression Curve-Fitting Methods:",
        70,
        join({
            "VARIABLE METRIC QUADRATIC PROGRAMMING (VMQP) METHOD",
            "Finds local minima of smooth, differentiable functions. It",
            "builds a quadratic model of the sum of squares from gradient",
            "steps, which is exact near a minimum; linear constraints are",
            "kept by starting inside them and staying there.",
            "",
            "LEVENBERG-MARQUARDT METHOD",
            "Blends the Gauss-Newton method with steepest descent: far from",
            "the minimum it takes short, safe descent steps, near it the",
            "fast Gauss-Newton steps that exploit the least-squares form.",
            "",
            "CONJUGATE GRADIENT METHOD",
            "Moves along directions that are conjugate to each other, built",
            "step by step from the gradients, so that a step does not undo",
            "the progress of the steps before it.",
            "",
            "HOOKE-JEEVES SEARCH METHOD",
            "A derivative-free pattern search: it probes each parameter in",
            "turn and, when a probe improves the fit, moves further in the",
            "direction found; the step shrinks when no probe succeeds.",
            "",
            "RANDOM SEARCH METHOD",
            "Samples parameter solutions at random within the bounds and",
            "around the best point found, keeping every improvement; it",
            "escapes local minima that trap the gradient methods.",
            "",
            "DIFFERENTIAL EVOLUTION METHOD",
            "A stochastic, population-based global search: new candidates",
            "are made from the differences of existing ones, and a",
            "candidate replaces its parent when it fits the data better.",
        }),
        join({
            "Kalvor_UDF",
            "",
            description(),
            "",
            "Nonlinear regression finds the parameters of a model that",
            "minimise the sum of squared residuals between the model and",
            "the data. The methods above run one after another, each",
            "starting from the best result so far. The Model Information",
            "Criterion (MIC) ranks competing models: the smaller, the",
            "better. A user-defined function (UDF) can have up to 8",
            "parameters (P1..P8) and 3 independent variables (X1..X3).",
        }),
    };
}

}  // namespace helptexts
