#include "stratumix.h"

std::array<data_file, kMaxFiles + 1> files;
std::int32_t numlay = 0;
std::string nom_info;
OutputFile f2;
std::unique_ptr<ByteSource> f3;
OutputFile f6;
bool input_incomplete = false;
