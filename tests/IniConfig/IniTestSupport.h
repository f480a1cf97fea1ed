#ifndef TESTS_INICONFIG_INITESTSUPPORT_H
#define TESTS_INICONFIG_INITESTSUPPORT_H

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "IniConfig/iniconfig.h"
#include "support/TestBoard.h"

// "[section]\n" then "key|value\n" for each key, in tree order: shows where
// a key ends and its value starts.
inline std::string XDumpConfig(INI_CONFIG* config)
{
    struct Walk {
        static int Key(CONFIG_BTREE_NODE* node, void* arg)
        {
            std::string& out = *static_cast<std::string*>(arg);
            out += std::string(node->key) + "|" + static_cast<const char*>(node->data) + "\n";
            return 1;
        }
        static int Section(CONFIG_BTREE_NODE* node, void* arg)
        {
            std::string& out = *static_cast<std::string*>(arg);
            out += "[" + std::string(node->key) + "]\n";
            config_btree_inorder_traverse(static_cast<CONFIG_BTREE*>(node->data), Key, arg);
            return 1;
        }
    };
    std::string out;
    if (config != nullptr) {
        config_btree_inorder_traverse(config, Walk::Section, &out);
    }
    return out;
}

inline bool XReadFileText(const std::string& path, std::string* data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    *data = ss.str();
    return true;
}

inline std::string XFileText(const std::string& path)
{
    std::string data;
    XReadFileText(path, &data);
    return data;
}

inline void XWriteFileText(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

inline bool XPathExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The file as Python's configparser reads it: "section.key=value" lines in
// file order, or the parser's error.
inline std::string XConfigParserView(const std::string& path)
{
    const std::string script =
        "import configparser,sys\n"
        "c=configparser.ConfigParser(interpolation=None,default_section='\\x00')\n"
        "c.optionxform=str\n"
        "c.read_file(open(sys.argv[1]))\n"
        "for s in c.sections():\n"
        "    for k,v in c.items(s): print('%s.%s=%s'%(s,k,v))\n";
    return XTestRun(std::string(DASHCAM_PYTHON) + " -c \"" + script + "\" '" + path + "' 2>&1");
}

#endif
