#include "OSD/ImageDataBase.h"

unsigned GetCharImageDataBase16Size() { return sizeof(g_CharImageDataBase16); }
unsigned GetCharImageDataBase32Size() { return sizeof(g_CharImageDataBase32); }
unsigned GetCharImageDataBase48Size() { return sizeof(g_CharImageDataBase48); }
unsigned GetLogoImageDataBase16Size() { return sizeof(g_LogoImageDataBase16); }
unsigned GetLogoImageDataBase32Size() { return sizeof(g_LogoImageDataBase32); }
unsigned GetLogoImageDataBase48Size() { return sizeof(g_LogoImageDataBase48); }
unsigned GetSubLogoImageDataBase16Size() { return 1224; }
unsigned GetSubLogoImageDataBase32Size() { return 4872; }
unsigned GetSubLogoImageDataBase48Size() { return 10760; }
