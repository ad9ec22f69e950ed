// A pass's size as an expression such as "$WIDTH/16" or "max($WIDTH*0.5, 1)": muParser's syntax
// (arithmetic, ^, comparisons, ?:, min, max, abs, sqrt, ...) with floor, ceil, round, pow and mod
// added, over $WIDTH and $HEIGHT (the output's size in pixels) and named values ("$" and a
// parameter's uniform name).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace mu {
class Parser;
}

namespace glfx {

class SizeExpression {
public:
    // Parses `text` once. Throws std::invalid_argument with muParser's message, which names the
    // position, when it is not an expression over these names.
    SizeExpression(const std::string& text, const std::vector<std::string>& valueNames);
    ~SizeExpression();
    SizeExpression(const SizeExpression&) = delete;
    SizeExpression& operator=(const SizeExpression&) = delete;

    // `values` in the order of valueNames. Never throws.
    double evaluate(double width, double height, const std::vector<double>& values);

    // A side in pixels from a value: rounded to the nearest, at least 1 and at most `limit`; NaN
    // gives 1.
    static int32_t side(double value, int32_t limit);

private:
    std::unique_ptr<mu::Parser> parser_;
    // muParser reads variables through pointers; they stay put here.
    std::unique_ptr<double[]> variables_;
    size_t valueCount_ = 0;
};

} // namespace glfx
