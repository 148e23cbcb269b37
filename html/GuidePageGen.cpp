// Writes the guide page from its template with the rules' figures the service
// pays by: its compiled-in defaults, or an operator's config.json.
//   ambervale_guide_page <template> <output> [config.json]
#include "Config.h"
#include "Rules.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: " << argv[0] << " <template> <output> [config.json]\n";
        return 2;
    }
    try {
        Config config = Config::Defaults();
        if (argc == 4) {
            // LoadOrCreate would write the defaults to a missing file; a typo must not.
            if (!std::filesystem::exists(argv[3])) throw std::runtime_error(std::string("no such file: ") + argv[3]);
            config = Config::LoadOrCreate(argv[3]);
        }
        const std::string page = rules::Render(ReadAll(argv[1]), rules::GuideFigures(config));
        // Unchanged output keeps its time stamp, so nothing depending on it is redone.
        const std::filesystem::path out = argv[2];
        if (std::filesystem::exists(out) && ReadAll(out) == page) return 0;
        const std::filesystem::path tmp = out.string() + ".tmp";
        {
            std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
            o << page;
            if (!o.flush()) throw std::runtime_error("cannot write " + tmp.string());
        }
        std::filesystem::rename(tmp, out);
    } catch (const std::exception& e) {
        std::cerr << argv[0] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
