// Resource identifiers shared by the program and its resource script.
#pragma once

#define IDI_SETUP 1
#define IDR_BANNER 101
#define IDS_MESSAGE_TITLE 1
