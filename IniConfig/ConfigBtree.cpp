// The unbalanced binary search trees behind the INI library.

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "IniConfig/iniconfig.h"

namespace {

// Zero bytes after the data, so a text value is always terminated.
const size_t kDataPad = 3;
// Data bytes of a node created without data.
const size_t kDefaultData = 5;

}  // namespace

CONFIG_BTREE* config_btree_create()
{
    CONFIG_BTREE* tree = new (std::nothrow) CONFIG_BTREE;
    if (tree != nullptr) {
        tree->numNodes = 0;
        tree->root = nullptr;
    }
    return tree;
}

CONFIG_BTREE_NODE* config_btree_create_node(const char* key, int key_len, const void* data, int data_len)
{
    if (key == nullptr || key_len < 0 || data_len < 0 || (data_len > 0 && data == nullptr)) {
        return nullptr;
    }
    size_t klen = key_len == 0 ? strlen(key) : static_cast<size_t>(key_len);
    size_t dlen = data_len == 0 ? kDefaultData : static_cast<size_t>(data_len);
    const uint64_t total = static_cast<uint64_t>(sizeof(CONFIG_BTREE_NODE)) + klen + 1 + dlen + kDataPad;
    if (total > SIZE_MAX) {
        return nullptr;
    }
    char* block = static_cast<char*>(::operator new(static_cast<size_t>(total), std::nothrow));
    if (block == nullptr) {
        return nullptr;
    }
    memset(block, 0, static_cast<size_t>(total));
    CONFIG_BTREE_NODE* node = new (block) CONFIG_BTREE_NODE;
    node->mem = block + sizeof(CONFIG_BTREE_NODE);
    node->key = node->mem;
    memcpy(node->key, key, klen);
    node->data = node->mem + klen + 1;
    if (data_len > 0) {
        memcpy(node->data, data, dlen);
    }
    node->left = nullptr;
    node->right = nullptr;
    return node;
}

void config_btree_free_node(CONFIG_BTREE_NODE* node)
{
    if (node != nullptr) {
        node->~CONFIG_BTREE_NODE();
        ::operator delete(static_cast<void*>(node));
    }
}

int config_btree_insert_node(CONFIG_BTREE* tree, CONFIG_BTREE_NODE* node)
{
    if (tree == nullptr || node == nullptr) {
        return 0;
    }
    CONFIG_BTREE_NODE** link = &tree->root;
    while (*link != nullptr) {
        int c = strcmp(node->key, (*link)->key);
        if (c == 0) {
            CONFIG_BTREE_NODE* old = *link;
            node->left = old->left;
            node->right = old->right;
            *link = node;
            config_btree_free_node(old);
            return 2;
        }
        link = c < 0 ? &(*link)->left : &(*link)->right;
    }
    node->left = nullptr;
    node->right = nullptr;
    *link = node;
    tree->numNodes++;
    return 1;
}

CONFIG_BTREE_NODE* config_btree_find_node(CONFIG_BTREE* tree, const char* key)
{
    if (tree == nullptr || key == nullptr) {
        return nullptr;
    }
    CONFIG_BTREE_NODE* node = tree->root;
    while (node != nullptr) {
        int c = strcmp(key, node->key);
        if (c == 0) {
            return node;
        }
        node = c < 0 ? node->left : node->right;
    }
    return nullptr;
}

int config_btree_delete_node(CONFIG_BTREE* tree, const char* key)
{
    if (tree == nullptr || key == nullptr) {
        return 0;
    }
    CONFIG_BTREE_NODE** link = &tree->root;
    while (*link != nullptr) {
        int c = strcmp(key, (*link)->key);
        if (c == 0) {
            break;
        }
        link = c < 0 ? &(*link)->left : &(*link)->right;
    }
    CONFIG_BTREE_NODE* victim = *link;
    if (victim == nullptr) {
        return 0;
    }
    CONFIG_BTREE_NODE* repl = nullptr;
    if (victim->left != nullptr) {
        // The greatest node of the left subtree takes the place.
        CONFIG_BTREE_NODE** m = &victim->left;
        while ((*m)->right != nullptr) {
            m = &(*m)->right;
        }
        repl = *m;
        *m = repl->left;
    } else if (victim->right != nullptr) {
        // Else the least node of the right subtree.
        CONFIG_BTREE_NODE** m = &victim->right;
        while ((*m)->left != nullptr) {
            m = &(*m)->left;
        }
        repl = *m;
        *m = repl->right;
    }
    if (repl != nullptr) {
        repl->left = victim->left;
        repl->right = victim->right;
    }
    *link = repl;
    config_btree_free_node(victim);
    tree->numNodes--;
    return 1;
}

// The walks keep their own stack: a tree read from a sorted file is a list
// as deep as the file is long.
int config_btree_inorder_traverse(CONFIG_BTREE* tree, CONFIG_BTREE_VISIT visit, void* arg)
{
    if (tree == nullptr || visit == nullptr) {
        return 0;
    }
    std::vector<CONFIG_BTREE_NODE*> stack;
    CONFIG_BTREE_NODE* node = tree->root;
    while (node != nullptr || !stack.empty()) {
        while (node != nullptr) {
            stack.push_back(node);
            node = node->left;
        }
        node = stack.back();
        stack.pop_back();
        CONFIG_BTREE_NODE* right = node->right;
        if (!visit(node, arg)) {
            return 0;
        }
        node = right;
    }
    return 1;
}

int config_btree_preorder_traverse(CONFIG_BTREE* tree, CONFIG_BTREE_VISIT visit, void* arg)
{
    if (tree == nullptr || visit == nullptr) {
        return 0;
    }
    std::vector<CONFIG_BTREE_NODE*> stack;
    if (tree->root != nullptr) {
        stack.push_back(tree->root);
    }
    while (!stack.empty()) {
        CONFIG_BTREE_NODE* node = stack.back();
        stack.pop_back();
        CONFIG_BTREE_NODE* left = node->left;
        CONFIG_BTREE_NODE* right = node->right;
        if (!visit(node, arg)) {
            return 0;
        }
        if (right != nullptr) {
            stack.push_back(right);
        }
        if (left != nullptr) {
            stack.push_back(left);
        }
    }
    return 1;
}

int config_btree_postorder_traverse(CONFIG_BTREE* tree, CONFIG_BTREE_VISIT visit, void* arg)
{
    if (tree == nullptr || visit == nullptr) {
        return 0;
    }
    // (node, children already pushed)
    std::vector<std::pair<CONFIG_BTREE_NODE*, bool>> stack;
    if (tree->root != nullptr) {
        stack.emplace_back(tree->root, false);
    }
    while (!stack.empty()) {
        std::pair<CONFIG_BTREE_NODE*, bool>& top = stack.back();
        CONFIG_BTREE_NODE* node = top.first;
        if (!top.second) {
            top.second = true;
            if (node->right != nullptr) {
                stack.emplace_back(node->right, false);
            }
            if (node->left != nullptr) {
                stack.emplace_back(node->left, false);
            }
            continue;
        }
        stack.pop_back();
        if (!visit(node, arg)) {
            return 0;
        }
    }
    return 1;
}

namespace {

int XFreeVisit(CONFIG_BTREE_NODE* node, void*)
{
    config_btree_free_node(node);
    return 1;
}

}  // namespace

void config_btree_destroy(CONFIG_BTREE* tree)
{
    if (tree == nullptr) {
        return;
    }
    config_btree_postorder_traverse(tree, XFreeVisit, nullptr);
    delete tree;
}

void config_btree_destroy_section(CONFIG_BTREE* section)
{
    config_btree_destroy(section);
}

CONFIG_BTREE* config_btree_get_section(CONFIG_BTREE* config, const char* section)
{
    CONFIG_BTREE_NODE* node = config_btree_find_node(config, section);
    return node != nullptr ? static_cast<CONFIG_BTREE*>(node->data) : nullptr;
}

CONFIG_BTREE* config_btree_insert_section(CONFIG_BTREE* config, const char* section)
{
    if (config == nullptr || section == nullptr || section[0] == '\0') {
        return nullptr;
    }
    CONFIG_BTREE* keys = config_btree_create();
    CONFIG_BTREE_NODE* node = config_btree_create_node(section, 0, nullptr, 0);
    if (keys == nullptr || node == nullptr) {
        delete keys;
        config_btree_free_node(node);
        return nullptr;
    }
    node->data = keys;
    // An earlier section of that name goes with all its keys.
    CONFIG_BTREE_NODE* old = config_btree_find_node(config, section);
    if (old != nullptr) {
        config_btree_destroy_section(static_cast<CONFIG_BTREE*>(old->data));
        old->data = nullptr;
    }
    config_btree_insert_node(config, node);
    return keys;
}

int config_btree_insert_section_node(CONFIG_BTREE* config, const char* section, CONFIG_BTREE_NODE* node)
{
    if (node == nullptr) {
        return 0;
    }
    CONFIG_BTREE* keys = config_btree_get_section(config, section);
    if (keys == nullptr) {
        keys = config_btree_insert_section(config, section);
    }
    if (keys == nullptr) {
        config_btree_free_node(node);
        return 0;
    }
    return config_btree_insert_node(keys, node);
}
