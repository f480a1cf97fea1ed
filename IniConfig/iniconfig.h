#ifndef INICONFIG_INI_LIBRARY_H
#define INICONFIG_INI_LIBRARY_H

// INI files as a two-level binary search tree: one node per section in the
// top tree, each section's data being the tree of its keys. Keys and values
// are texts of any length; nodes are ordered by byte-wise comparison.

#include <cstdio>

// One tree node: header, key and data in a single zero-filled block.
struct tagCONFIG_BTREE_NODE {
    char* key;                      // terminated, inside the block
    void* data;                     // key nodes: the value text; section nodes: the key tree
    tagCONFIG_BTREE_NODE* left;     // smaller keys
    tagCONFIG_BTREE_NODE* right;    // larger keys
    char* mem;                      // the block's storage after this header
};
typedef tagCONFIG_BTREE_NODE CONFIG_BTREE_NODE;

struct tagCONFIG_BTREE {
    int numNodes;
    CONFIG_BTREE_NODE* root;
};
typedef tagCONFIG_BTREE CONFIG_BTREE;
typedef tagCONFIG_BTREE INI_CONFIG;

// Longest section name the parser takes (its buffer holds one more byte).
#define INI_SECTION_NAME_MAX 63

// State of one parse.
struct tagPARSER {
    int status;         // 1 line start or key, 2 section header, 3 value, 4 comment
    int pos;            // current character
    int start1;         // start of the key or section name
    int end1;           // end of the key (the "=")
    int start2;         // start of the value
    int end2;           // unused
    int row;            // from 1
    int col;            // from 1
    const char* str;
    int slen;
    INI_CONFIG* config;
    char section_name[INI_SECTION_NAME_MAX + 1];
};
typedef tagPARSER PARSER;

// Traversal callback: 0 stops the walk.
typedef int (*CONFIG_BTREE_VISIT)(CONFIG_BTREE_NODE* node, void* arg);

// ---- INI files ----

// Parses `slen` bytes (0: the string's own length). With `isGBK`, bytes
// 128-255 start a two-byte character. A new tree, or null when the text
// cannot be parsed (empty key, empty or over-long section name, a "[" not
// closed on its line).
INI_CONFIG* ini_config_create_from_string(const char* str, int slen, int isGBK);
// Reads and parses a whole file; null when it cannot be read or parsed. An
// empty file gives a tree with only the empty section "default".
INI_CONFIG* ini_config_create_from_file(const char* filename, int isGBK);
// The value converted like atoi (clamped to int), or `default_int` when the
// section or key is missing. A null `section` means "default".
int ini_config_get_int(INI_CONFIG* config, const char* section, const char* key, int default_int);
// The stored text, or `default_string`.
const char* ini_config_get_string(INI_CONFIG* config, const char* section, const char* key,
                                  const char* default_string);
// Creates the section when missing, then inserts or replaces the key.
// `key_len` 0 means the key's own length; `value_len` is the byte count of
// the value. 1 for a new key, 2 for a replaced one, 0 on failure: a key or
// value the file format cannot hold, or a key or section the parser would
// not give back unchanged from the saved file (a blank at either end, a
// control byte, a key with '=' or '[' or starting with ';' or '#', a section
// with ']').
int ini_config_set_string(INI_CONFIG* config, const char* section, const char* key, int key_len,
                          const char* value, int value_len);
// `value` as "%d" through ini_config_set_string.
int ini_config_set_int(INI_CONFIG* config, const char* section, const char* key, int key_len, int value);
// Writes every section in byte order as "[name]\n", then its keys in byte
// order as "key=value\n". The file is replaced atomically: a temporary file
// in the same folder is written and synced, renamed over the old one, and
// the folder synced. 1 on success; 0 leaves the old file as it was.
int ini_config_save(INI_CONFIG* config, const char* filename);
// The same text on a stream.
void ini_config_print(INI_CONFIG* config, FILE* fp);
void ini_config_destroy(INI_CONFIG* config);

// ---- tree primitives ----

CONFIG_BTREE* config_btree_create();
// A node holding `key_len` bytes of key (0: its own length) and `data_len`
// bytes of data (0: 5 zero bytes), always followed by at least three zeros.
CONFIG_BTREE_NODE* config_btree_create_node(const char* key, int key_len, const void* data, int data_len);
// Hangs `node` at its place; an equal key is replaced (its node freed).
// 1 inserted, 2 replaced, 0 on bad arguments.
int config_btree_insert_node(CONFIG_BTREE* tree, CONFIG_BTREE_NODE* node);
// A new empty section, replacing an earlier one of the same name together
// with its keys. The section's key tree, or null.
CONFIG_BTREE* config_btree_insert_section(CONFIG_BTREE* config, const char* section);
// The key tree of a section, or null.
CONFIG_BTREE* config_btree_get_section(CONFIG_BTREE* config, const char* section);
// Inserts a key node into a section, creating the section when missing.
// 1 inserted, 2 replaced, 0 on failure (the node is freed then).
int config_btree_insert_section_node(CONFIG_BTREE* config, const char* section, CONFIG_BTREE_NODE* node);
CONFIG_BTREE_NODE* config_btree_find_node(CONFIG_BTREE* tree, const char* key);
// Removes and frees a key node: 1 when found, else 0.
int config_btree_delete_node(CONFIG_BTREE* tree, const char* key);
// Walks the tree; the first callback returning 0 stops it and gives 0.
int config_btree_inorder_traverse(CONFIG_BTREE* tree, CONFIG_BTREE_VISIT visit, void* arg);
int config_btree_preorder_traverse(CONFIG_BTREE* tree, CONFIG_BTREE_VISIT visit, void* arg);
int config_btree_postorder_traverse(CONFIG_BTREE* tree, CONFIG_BTREE_VISIT visit, void* arg);
// Frees a section's key tree.
void config_btree_destroy_section(CONFIG_BTREE* section);
// Frees a tree of key nodes.
void config_btree_destroy(CONFIG_BTREE* tree);
void config_btree_free_node(CONFIG_BTREE_NODE* node);

#endif
