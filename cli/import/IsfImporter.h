// What the two halves of the ISF importer share: IsfImport.cpp reads the JSON header into the
// parameters and the passes, IsfShaders.cpp reads the code, rewrites it into each stage's text and
// routes the passes.
#pragma once

#include "import/Import.h"
#include "import/JsonRead.h"
#include "import/ShaderKit.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace glfx::import::isf {

enum class Kind { Float, Bool, Event, Long, Color, Point, Image };

struct Input {
    std::string name;
    Kind kind = Kind::Float;
    std::string label;
    const Json* json = nullptr;
    std::string uniform;           // the parameter's uniform
    std::string alphaUniform;      // a colour's opacity slider, when it has one
    float alpha = 1.0f;            // a colour's fixed alpha otherwise
    std::vector<long long> values; // a long's VALUES, by choice
    bool normalised = false;       // a point in 0..1 of the render size
    int layer = -1;                // an image: its layer
};

struct Pass {
    std::string target;
    bool persistent = false;
    bool floatStorage = false;
    std::string width;
    std::string height;
};

// A texture a pass may read: a layer or the target of a pass.
struct Slot {
    std::string name;
    int layer = -1;
    int pass = -1;
};

class IsfImporter {
public:
    IsfImporter(const std::string& path, const std::string& bytes) : path_(path), bytes_(bytes) {}

    ImportedEffect run();

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw ImportError(path_ + ": " + what);
    }

    // ---- the header and the inputs (IsfImport.cpp) -----------------------------------------

    void readHeader();
    const Json* list(const Json& object, const char* key) const;
    void readInputs();
    void readImported();
    void readPasses();
    std::optional<double> number(const Input& in, const char* key) const;
    // The two numbers of a point2D or the four of a colour.
    std::vector<double> numbers(const Input& in, const char* key) const;
    ParamSpec& addParam(ParamType type, const std::string& name, const std::string& uniform);
    void buildParams();
    void buildLong(Input& in);
    void buildPoint(Input& in);

    // ---- the code, the shaders and the passes (IsfShaders.cpp) -----------------------------

    void readCode();
    bool used(const std::string& name) const { return usedNames_.count(name) != 0; }
    void assignSlots();
    // The text that replaces an input's name in the code, and the definitions it needs.
    std::string inputExpression(const Input& in, std::string& definitions) const;
    std::string uniformDeclaration(const Input& in) const;
    int slotOf(const std::string& name) const;
    // One stage's text: `code` is the author's text, `firstLine` its first line in its file.
    void buildStage(const std::string& code, const LeadingDirectives& directives, int firstLine,
                    bool fragment, ShaderAssembly& out);
    void buildShaders();
    std::string sizeExpression(const std::string& text, size_t pass, const char* key);
    void buildPasses();

    static constexpr double kReferenceWidth = 1920.0;
    static constexpr double kReferenceHeight = 1080.0;

    std::string path_;
    const std::string& bytes_;
    Json header_;
    std::string code_;
    int codeLine_ = 1;
    bool version1_ = false;
    std::vector<Input> inputs_;
    std::vector<Input> imported_;
    std::vector<Pass> passes_;
    std::vector<Slot> slots_;
    std::string layerZero_;
    std::string fs_;
    std::string vs_;
    std::string vsPath_;
    bool hasVertex_ = false;
    LeadingDirectives fsDirectives_;
    LeadingDirectives vsDirectives_;
    std::set<std::string> taken_;
    std::set<std::string> usedNames_;
    int paramCount_ = 0;
    std::string fsText_;
    std::vector<int> fsLines_;
    ImportedEffect out_;
};

} // namespace glfx::import::isf
