// Build-time tool: writes the start-up parameter set as a parameters file to the path given.
#include <cstdio>

#include "model/parameters_file.h"
#include "model/program_parameters.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
    return 2;
  }
  corvella::ProgramParameters p{};
  corvella::ResetParameters(p);
  const corvella::FileResult result = corvella::SaveParametersFile(argv[1], p);
  if (!result.ok) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], argv[1], result.systemText.c_str());
    return 1;
  }
  return 0;
}
