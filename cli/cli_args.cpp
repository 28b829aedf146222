#include "cli_args.h"

#include <algorithm>

namespace cli {

namespace {
std::string_view optionName(std::string_view opt) {
    auto eq = opt.find('=');
    return eq == std::string_view::npos ? opt : opt.substr(0, eq);
}
} // namespace

bool CliArgs::has(std::string_view name) const {
    return std::any_of(options.begin(), options.end(),
                       [&](const std::string& o) { return optionName(o) == name; });
}

std::optional<std::string> CliArgs::value(std::string_view name) const {
    for (const auto& o : options) {
        if (optionName(o) == name && o.size() > name.size())
            return o.substr(name.size() + 1);
    }
    return std::nullopt;
}

CliArgs parseArgs(int argc, char** argv, const std::vector<std::string>& valueOptions) {
    CliArgs args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0 || a == "--") {
            args.words.push_back(a);
            continue;
        }
        bool takesValue = std::find(valueOptions.begin(), valueOptions.end(), a) != valueOptions.end();
        if (takesValue && i + 1 < argc)
            a += "=" + std::string(argv[++i]);
        if (optionName(a) == "--data-dir" && a.size() > 11)
            args.dataDir = a.substr(11);
        else
            args.options.push_back(a);
    }
    return args;
}

} // namespace cli
