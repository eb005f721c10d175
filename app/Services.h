// The services as the program's start hands them out.
#pragma once

#include "install/Services.h"
#include "text/TextServices.h"

namespace setup {

// The services as the program's start hands them out.
struct Services {
    TextServices& texts;
    FileSystem& files;
    RestartQueue& restart;
    FolderRedirection& redirection;
    DriverStore& store;
    System& system;
    FileFacts& facts;
};

}  // namespace setup
