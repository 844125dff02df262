// crdtool build (--new | DOC.kvp) --today YYYY-MM-DD OUT.crd
// crdtool dump FILE.crd
#include <iostream>
#include <string>
#include <vector>

#include "tool.h"

namespace {

int usage() {
    std::cerr << "usage: crdtool build (--new | DOC.kvp) --today YYYY-MM-DD OUT.crd\n"
                 "       crdtool dump FILE.crd\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "dump") return crdtool::dump(args[1], std::cout, std::cerr) ? 0 : 1;
    if (args.size() == 5 && args[0] == "build" && args[2] == "--today") {
        const std::string doc = args[1] == "--new" ? std::string() : args[1];
        return crdtool::build(doc, args[3], args[4], std::cerr) ? 0 : 1;
    }
    return usage();
}
