/* Resource identifiers shared by the resource script and the Windows backend. */
#ifndef RUVO_PLATFORM_WIN32_RESOURCE_IDS_H
#define RUVO_PLATFORM_WIN32_RESOURCE_IDS_H

#define RUVO_IDI_PACKAGE 1  /* first icon group: the program file's own icon */
#define RUVO_IDR_BANNER 101 /* RCDATA: the banner JPEG */

#endif
