#include "ui/expr_evaluate.h"
#include "ui/expr_parser.h"

#include "message_capture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <pthread.h>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;

struct ValueCase {
    const char* text;
    double value;
};

class ExprValue : public testing::TestWithParam<ValueCase> {};

TEST_P(ExprValue, EvaluatesTo) {
    ExprEvaluate expr;
    expr.setExpression(QString::fromUtf8(GetParam().text));
    ASSERT_TRUE(expr.evaluate()) << expr.messageText().toStdString();
    EXPECT_FALSE(expr.hasError());
    EXPECT_NEAR(expr.value(), GetParam().value, 1e-7 * std::max(1.0, std::fabs(GetParam().value)));
}

INSTANTIATE_TEST_SUITE_P(Arithmetic, ExprValue, testing::Values(
    ValueCase{"2*(3+4)", 14}, ValueCase{"1920/2", 960}, ValueCase{"2^10", 1024},
    ValueCase{"sqrt(2)*100", 141.4213562373095}, ValueCase{"fac(5)", 120}, ValueCase{"1e3", 1000},
    ValueCase{".5", 0.5}, ValueCase{"atan2(1,1)", kPi / 4}, ValueCase{"  1 +\t2\n", 3},
    ValueCase{"10-2-3", 5}, ValueCase{"2*3+4*5", 26}, ValueCase{"1e-3*1000", 1}));

// The grammar's own precedences, kept as users of the fields know them.
INSTANTIATE_TEST_SUITE_P(Grammar, ExprValue, testing::Values(
    ValueCase{"-2^2", 4}, ValueCase{"2^3^2", 64}, ValueCase{"2^-1", 0.5}, ValueCase{"1,2", 2},
    ValueCase{"7%3", 1}, ValueCase{"sin 2^2", std::pow(std::sin(2.0), 2.0)}, ValueCase{"sin 0", 0},
    ValueCase{"pi", kPi}, ValueCase{"pi()", kPi}, ValueCase{"log(100)", 2}, ValueCase{"log10(1000)", 3},
    ValueCase{"ln(e)", 1}, ValueCase{"--3", 3}, ValueCase{"-+-3", 3}, ValueCase{"abs(-4.5)", 4.5},
    ValueCase{"pow(2,0.5)^2", 2}, ValueCase{"(1,2)*3", 6}));

INSTANTIATE_TEST_SUITE_P(Combinatorics, ExprValue, testing::Values(
    ValueCase{"fac(12)", 479001600}, ValueCase{"fac(3.7)", 6}, ValueCase{"fac(0)", 1},
    ValueCase{"ncr(5,2)", 10}, ValueCase{"npr(5,2)", 20}, ValueCase{"ncr(30,15)", 155117520},
    ValueCase{"ncr(5,0)", 1}, ValueCase{"ncr(5,5)", 1}));

struct ErrorCase {
    const char* text;
    const char* message;
};

class ExprError : public testing::TestWithParam<ErrorCase> {};

TEST_P(ExprError, FailsWithMessage) {
    ExprEvaluate expr;
    expr.setExpression(QString::fromUtf8(GetParam().text));
    MessageCapture log;
    EXPECT_FALSE(expr.evaluate());
    EXPECT_TRUE(expr.hasError());
    EXPECT_EQ(expr.value(), 0.0);
    EXPECT_EQ(expr.messageText().toStdString(), GetParam().message);
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(log.messages().first().endsWith(QStringLiteral(" ; Error : ") + GetParam().message));
    // A failed evaluation is never checked against a range: the field keeps its own.
    EXPECT_EQ(expr.checkRangeInt(-1000, 1000, 42), 42);
    EXPECT_FALSE(expr.isOutOfRange());
}

INSTANTIATE_TEST_SUITE_P(Syntax, ExprError, testing::Values(
    ErrorCase{"1+", "Fail to evaluate at character 2"}, ErrorCase{"2*(3", "Fail to evaluate at character 4"},
    ErrorCase{"abc", "Fail to evaluate at character 3"}, ErrorCase{"2 3", "Fail to evaluate at character 3"},
    ErrorCase{"PI", "Fail to evaluate at character 2"}, ErrorCase{"pow(2)", "Fail to evaluate at character 6"},
    ErrorCase{"si(1)", "Fail to evaluate at character 2"}, ErrorCase{"1$", "Fail to evaluate at character 2"},
    ErrorCase{"pi(", "Fail to evaluate at character 3"}, ErrorCase{"atan2 1", "Fail to evaluate at character 7"},
    ErrorCase{".", "Fail to evaluate at character 1"},
    // Non-ASCII letters are no names, and the position counts UTF-8 bytes.
    ErrorCase{"\xc3\xa9", "Fail to evaluate at character 1"},
    // Only decimal numbers: "0x10" reads 0, then the unknown name "x10".
    ErrorCase{"0x10", "Fail to evaluate at character 4"},
    ErrorCase{"0x1p4", "Fail to evaluate at character 5"}));

INSTANTIATE_TEST_SUITE_P(NonFinite, ExprError, testing::Values(
    ErrorCase{"1/0", "Fail to evaluate (divide by zero ?)"}, ErrorCase{"0/0", "Fail to evaluate (divide by zero ?)"},
    ErrorCase{"sqrt(-1)", "Fail to evaluate (divide by zero ?)"}, ErrorCase{"fac(13)", "Fail to evaluate (divide by zero ?)"},
    ErrorCase{"fac(-1)", "Fail to evaluate (divide by zero ?)"}, ErrorCase{"ncr(5,6)", "Fail to evaluate (divide by zero ?)"},
    ErrorCase{"1e400", "Fail to evaluate (divide by zero ?)"},
    // A NaN argument to the combinatorics is NaN, not a truncated 0.
    ErrorCase{"fac(0/0)", "Fail to evaluate (divide by zero ?)"}, ErrorCase{"ncr(0/0,1)", "Fail to evaluate (divide by zero ?)"},
    ErrorCase{"npr(5,0/0)", "Fail to evaluate (divide by zero ?)"}, ErrorCase{"fac(5e9)", "Fail to evaluate (divide by zero ?)"}));

TEST(ExprEvaluate, EmptyTextIsZeroAndLeavesTheFallback) {
    ExprEvaluate expr;
    expr.setExpression(QString());
    EXPECT_TRUE(expr.isEmpty());
    EXPECT_TRUE(expr.evaluate());
    EXPECT_EQ(expr.value(), 0.0);
    EXPECT_TRUE(expr.messageText().isEmpty());
    EXPECT_EQ(expr.checkRangeInt(0, 10, 5), 5);
    EXPECT_FALSE(expr.isOutOfRange());
}

TEST(ExprEvaluate, NewTextClearsTheFlags) {
    ExprEvaluate expr;
    expr.setExpression(QStringLiteral("1/0"));
    EXPECT_FALSE(expr.evaluate());
    expr.setExpression(QStringLiteral("4"));
    EXPECT_FALSE(expr.hasError());
    EXPECT_EQ(expr.expression(), QStringLiteral("4"));
    EXPECT_TRUE(expr.evaluate());
    EXPECT_EQ(expr.checkRangeInt(0, 3, 1), 1);
    EXPECT_TRUE(expr.isOutOfRange());
    expr.setExpression(QStringLiteral("2"));
    EXPECT_FALSE(expr.isOutOfRange());
    EXPECT_TRUE(expr.messageText().isEmpty());
}

struct IntRangeCase {
    const char* text;
    int32_t min, max, fallback;
    int32_t result;
    const char* message;  // empty when inside
};

class ExprRangeInt : public testing::TestWithParam<IntRangeCase> {};

TEST_P(ExprRangeInt, ChecksTheRoundedValue) {
    const IntRangeCase& c = GetParam();
    ExprEvaluate expr;
    expr.setExpression(QString::fromUtf8(c.text));
    ASSERT_TRUE(expr.evaluate());
    EXPECT_EQ(expr.checkRangeInt(c.min, c.max, c.fallback), c.result);
    EXPECT_EQ(expr.isOutOfRange(), c.message[0] != '\0');
    EXPECT_EQ(expr.messageText().toStdString(), c.message);
}

INSTANTIATE_TEST_SUITE_P(Ranges, ExprRangeInt, testing::Values(
    IntRangeCase{"2.5", 0, 10, 5, 3, ""}, IntRangeCase{"-2.5", -10, 10, 5, -3, ""},
    IntRangeCase{"10", 0, 10, 5, 10, ""}, IntRangeCase{"0", 0, 10, 5, 0, ""},
    IntRangeCase{"10.6", 0, 10, 5, 5, "Out of range value : 11 not in range 0 -> 10"},
    IntRangeCase{"-0.6", 0, 10, 5, 5, "Out of range value : -1 not in range 0 -> 10"},
    // Beyond 32 bits: refused with the true value, never wrapped into the range.
    IntRangeCase{"1e10", 0, 100, 20, 20, "Out of range value : 10000000000 not in range 0 -> 100"},
    IntRangeCase{"-1e10", INT32_MIN, INT32_MAX, 7, 7,
                 "Out of range value : -10000000000 not in range -2147483648 -> 2147483647"},
    IntRangeCase{"2^31", INT32_MIN, INT32_MAX, 7, 7,
                 "Out of range value : 2147483648 not in range -2147483648 -> 2147483647"},
    IntRangeCase{"-2^31", INT32_MIN, INT32_MAX, 7, INT32_MIN, ""}));

TEST(ExprEvaluate, FloatRange) {
    ExprEvaluate expr;
    expr.setExpression(QStringLiteral("1.5"));
    ASSERT_TRUE(expr.evaluate());
    EXPECT_EQ(expr.checkRangeFloat(0.0f, 1.0f, 0.25f), 0.25f);
    EXPECT_TRUE(expr.isOutOfRange());
    EXPECT_EQ(expr.messageText(), QStringLiteral("Out of range value : 1.5 not in range 0 -> 1"));
    EXPECT_EQ(expr.checkRangeFloat(0.0f, 1.5f, 0.25f), 1.5f);
    EXPECT_FALSE(expr.isOutOfRange());
    expr.setExpression(QStringLiteral("1234567*10"));
    ASSERT_TRUE(expr.evaluate());
    EXPECT_EQ(expr.checkRangeFloat(-1.0f, 100.5f, 3.0f), 3.0f);
    EXPECT_EQ(expr.messageText(), QStringLiteral("Out of range value : 1.23457e+07 not in range -1 -> 100.5"));
}

// Selects a comma-decimal LC_NUMERIC: an installed one, else de_DE compiled into a
// temporary folder with localedef (found through LOCPATH). False when neither works.
bool selectCommaDecimalLocale(QTemporaryDir& folder) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name))
            return true;
    }
    if (!folder.isValid())
        return false;
    const QString target = folder.filePath(QStringLiteral("de_DE.UTF-8"));
    if (QProcess::execute(QStringLiteral("localedef"),
                          {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"), QStringLiteral("UTF-8"),
                           QStringLiteral("-c"), target}) < 0)
        return false;
    qputenv("LOCPATH", QFile::encodeName(folder.path()));
    const bool ok = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    qunsetenv("LOCPATH");
    return ok;
}

// Numbers are read the same whatever the C locale says about decimal commas.
TEST(ExprEvaluate, CommaDecimalLocaleReadsPoints) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    QTemporaryDir folder;
    if (!selectCommaDecimalLocale(folder))
        GTEST_SKIP() << "no comma-decimal locale available";
    // The locale is in effect: the C library itself now stops at the point.
    const double libc = std::strtod("1.5", nullptr);
    ExprEvaluate expr;
    expr.setExpression(QStringLiteral("1.5*2"));
    const bool ok = expr.evaluate();
    const double value = expr.value();
    expr.setExpression(QStringLiteral("1e400"));
    const bool huge = expr.evaluate();
    expr.setExpression(QStringLiteral("1,5"));
    const bool list = expr.evaluate();
    const double listValue = expr.value();
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(libc, 1.0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(value, 3.0);
    EXPECT_FALSE(huge);
    EXPECT_TRUE(list);  // a comma stays the list operator
    EXPECT_EQ(listValue, 5.0);
}

TEST(ExprParser, InterpretReportsPositions) {
    int32_t position = -5;
    EXPECT_EQ(expr_interpret("6*7", &position), 42.0);
    EXPECT_EQ(position, 0);
    EXPECT_TRUE(std::isnan(expr_interpret("(1+2", &position)));
    EXPECT_EQ(position, 4);
    EXPECT_TRUE(std::isnan(expr_interpret(nullptr, &position)));  // empty text is a syntax error here
    EXPECT_EQ(position, 1);
}

// Runs `body` on a thread whose stack is 1 MiB (a Windows main thread's), so a parse
// that recurses without bound dies here instead of passing on the 8 MiB of Linux.
void run_on_small_stack(const std::function<void()>& body) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 1024 * 1024), 0);
    pthread_t thread;
    auto* job = new std::function<void()>(body);
    const int created = pthread_create(
        &thread, &attr,
        [](void* arg) -> void* {
            auto* f = static_cast<std::function<void()>*>(arg);
            (*f)();
            delete f;
            return nullptr;
        },
        job);
    pthread_attr_destroy(&attr);
    if (created != 0) delete job;
    ASSERT_EQ(created, 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

std::string repeat(const std::string& piece, size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

struct Outcome {
    bool ok = false;
    double value = 0.0;
    std::string message;
};

// Pasted text of any depth or length gives a value or the usual position error on a
// 1 MiB stack, never a crash; ordinary nesting still evaluates.
TEST(ExprEvaluate, DeepOrLongTextNeverOverflowsASmallStack) {
    const std::string deep(20000, '(');
    const std::vector<std::string> texts = {
        repeat("1+", 299999) + "1",                         // 300,000-term sum
        repeat("2/2*", 99999) + "1",                         // long product chain
        deep + "1" + std::string(20000, ')'),                // 20,000 nested pairs
        deep,                                                // pasted open parentheses
        repeat("(1+", 20000) + "1" + std::string(20000, ')'),
        repeat("sin ", 50000) + "0",                         // nested function arguments
        repeat("-(", 20000) + "1" + std::string(20000, ')'),
        repeat("atan2(1,", 20000) + "1" + std::string(20000, ')'),
        std::string(300, '(') + "2" + std::string(300, ')') + "*" + repeat("sin ", 200) + "0+1",
    };
    std::vector<Outcome> outcomes(texts.size());
    MessageCapture log;  // the failures log their (long) text
    run_on_small_stack([&] {
        for (size_t i = 0; i < texts.size(); ++i) {
            ExprEvaluate expr;
            expr.setExpression(QString::fromStdString(texts[i]));
            outcomes[i].ok = expr.evaluate();
            outcomes[i].value = expr.value();
            outcomes[i].message = expr.messageText().toStdString();
        }
    });
    EXPECT_TRUE(outcomes[0].ok) << outcomes[0].message;
    EXPECT_EQ(outcomes[0].value, 300000.0);
    EXPECT_TRUE(outcomes[1].ok) << outcomes[1].message;
    EXPECT_EQ(outcomes[1].value, 1.0);
    for (size_t i = 2; i < 8; ++i) {
        EXPECT_FALSE(outcomes[i].ok) << i;
        EXPECT_EQ(outcomes[i].message.rfind("Fail to evaluate at character ", 0), 0u) << i << " " << outcomes[i].message;
    }
    EXPECT_TRUE(outcomes[8].ok) << outcomes[8].message;
    EXPECT_EQ(outcomes[8].value, 1.0);
}

TEST(ExprParser, CombinatoricEdges) {
    EXPECT_TRUE(std::isinf(expr_fac(4294967296.0)));
    EXPECT_TRUE(std::isnan(expr_ncr(3, -1)));
    EXPECT_TRUE(std::isinf(expr_ncr(5e9, 1)));
    EXPECT_TRUE(std::isinf(expr_ncr(100, 50)));  // past 32 bits
    EXPECT_EQ(expr_ncr(4294967295.0, 1), 4294967295.0);
    EXPECT_EQ(expr_npr(10, 3), 720);
}

}  // namespace
