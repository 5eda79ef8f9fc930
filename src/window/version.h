/* The program file's version record. Plain macros: the resource compiler reads this
   file as well as the C++ code. */
#ifndef RUVO_WINDOW_VERSION_H
#define RUVO_WINDOW_VERSION_H

#define RUVO_VERSION_MAJOR 1
#define RUVO_VERSION_MINOR 0
#define RUVO_VERSION_PATCH 0
#define RUVO_VERSION_BUILD 0
#define RUVO_VERSION_TEXT "1.00"
#define RUVO_VERSION_LANGUAGE 0x0409 /* U.S. English */
#define RUVO_VERSION_CODEPAGE 1200   /* Unicode */
#define RUVO_VERSION_BLOCK "040904b0"

#define RUVO_COMPANY_NAME "Ruvo"
#define RUVO_PRODUCT_NAME "RUVO LinkLens"
#define RUVO_INTERNAL_NAME "RuvoLinkLens"
#define RUVO_ORIGINAL_FILENAME "RuvoLinkLens.exe"
#define RUVO_FILE_DESCRIPTION "RUVO LinkLens installer"

#endif
