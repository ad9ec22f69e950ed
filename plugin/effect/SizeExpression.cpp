#include "effect/SizeExpression.h"

#include <muParser.h>

#include <cmath>
#include <stdexcept>

namespace glfx {
namespace {

double floorOf(double x) {
    return std::floor(x);
}
double ceilOf(double x) {
    return std::ceil(x);
}
double roundOf(double x) {
    return std::round(x);
}
double power(double x, double y) {
    return std::pow(x, y);
}
double modulo(double x, double y) {
    return std::fmod(x, y);
}

} // namespace

SizeExpression::SizeExpression(const std::string& text, const std::vector<std::string>& valueNames)
    : parser_(std::make_unique<mu::Parser>()),
      variables_(std::make_unique<double[]>(valueNames.size() + 2)),
      valueCount_(valueNames.size()) {
    try {
        parser_->DefineNameChars(
            "0123456789_abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ$");
        parser_->DefineFun("floor", floorOf);
        parser_->DefineFun("ceil", ceilOf);
        parser_->DefineFun("round", roundOf);
        parser_->DefineFun("pow", power);
        parser_->DefineFun("mod", modulo);
        parser_->DefineVar("$WIDTH", &variables_[0]);
        parser_->DefineVar("$HEIGHT", &variables_[1]);
        for (size_t i = 0; i < valueNames.size(); ++i)
            parser_->DefineVar("$" + valueNames[i], &variables_[i + 2]);
        parser_->SetExpr(text);
        // The first evaluation parses; a bad text fails here rather than at a frame.
        parser_->Eval();
    } catch (const mu::Parser::exception_type& error) {
        throw std::invalid_argument("\"" + text + "\": " + error.GetMsg());
    }
}

SizeExpression::~SizeExpression() = default;

double SizeExpression::evaluate(double width, double height, const std::vector<double>& values) {
    variables_[0] = width;
    variables_[1] = height;
    for (size_t i = 0; i < valueCount_; ++i)
        variables_[i + 2] = i < values.size() ? values[i] : 0.0;
    try {
        return parser_->Eval();
    } catch (const mu::Parser::exception_type&) {
        return std::nan("");
    }
}

int32_t SizeExpression::side(double value, int32_t limit) {
    if (!(value >= 1.0)) return 1;
    const double rounded = std::round(value);
    return rounded >= double(limit) ? limit : static_cast<int32_t>(rounded);
}

} // namespace glfx
