#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "IniConfig/iniconfig.h"

namespace {

// A tree of one-letter keys inserted in the given order.
class IniTree : public ::testing::Test {
protected:
    void SetUp() override { m_lpTree = config_btree_create(); }
    void TearDown() override { config_btree_destroy(m_lpTree); }

    void Insert(const char* keys)
    {
        for (const char* k = keys; *k != '\0'; ++k) {
            if (*k != ' ') {
                ASSERT_EQ(config_btree_insert_node(m_lpTree, config_btree_create_node(k, 1, k, 1)), 1);
            }
        }
    }
    static int Collect(CONFIG_BTREE_NODE* node, void* arg)
    {
        *static_cast<std::string*>(arg) += node->key;
        return 1;
    }
    std::string Pre() const
    {
        std::string s;
        config_btree_preorder_traverse(m_lpTree, Collect, &s);
        return s;
    }
    std::string In() const
    {
        std::string s;
        config_btree_inorder_traverse(m_lpTree, Collect, &s);
        return s;
    }

    CONFIG_BTREE* m_lpTree = nullptr;
};

// m
// f       t
// c   h   p   w
// a d       q
const char* const kShape = "m f t c h p w a d q";

struct tagDeleteCase {
    const char* key;
    int result;
    const char* preorder;
};

TEST_F(IniTree, DeletionTakesThePredecessorElseTheSuccessor)
{
    const tagDeleteCase cases[] = {
        {"m", 1, "hfcadtpqw"},   // two children: greatest of the left subtree
        {"t", 1, "mfcadhqpw"},   // its left subtree's greatest is deep
        {"p", 1, "mfcadhtqw"},   // right child only: least of the right subtree
        {"c", 1, "mfadhtpqw"},   // left child is the greatest
        {"a", 1, "mfcdhtpqw"},   // leaf
        {"x", 0, "mfcadhtpqw"},  // missing
    };
    for (const tagDeleteCase& c : cases) {
        SCOPED_TRACE(c.key);
        config_btree_destroy(m_lpTree);
        m_lpTree = config_btree_create();
        Insert(kShape);
        ASSERT_EQ(Pre(), "mfcadhtpqw");
        EXPECT_EQ(config_btree_delete_node(m_lpTree, c.key), c.result);
        EXPECT_EQ(Pre(), c.preorder);
        EXPECT_EQ(m_lpTree->numNodes, 10 - c.result);
        EXPECT_EQ(config_btree_find_node(m_lpTree, c.key), nullptr);
    }
}

TEST_F(IniTree, EmptyingInAnyOrderKeepsTheRestSorted)
{
    Insert(kShape);
    std::string left = "acdfhmpqtw";
    for (const char* k : {"m", "h", "a", "w", "t", "f", "q", "c", "p", "d"}) {
        ASSERT_EQ(config_btree_delete_node(m_lpTree, k), 1) << k;
        left.erase(left.find(k[0]), 1);
        ASSERT_EQ(In(), left) << k;
    }
    EXPECT_EQ(m_lpTree->numNodes, 0);
    EXPECT_EQ(m_lpTree->root, nullptr);
}

TEST_F(IniTree, ReplacedKeyInheritsItsPlace)
{
    Insert(kShape);
    CONFIG_BTREE_NODE* node = config_btree_create_node("t", 0, "new", 3);
    EXPECT_EQ(config_btree_insert_node(m_lpTree, node), 2);
    EXPECT_EQ(m_lpTree->numNodes, 10);
    EXPECT_EQ(Pre(), "mfcadhtpqw");
    EXPECT_EQ(config_btree_find_node(m_lpTree, "t"), node);
    EXPECT_STREQ(static_cast<const char*>(node->data), "new");
}

TEST_F(IniTree, WalksStopAtTheFirstRefusal)
{
    Insert(kShape);
    struct Until {
        static int Visit(CONFIG_BTREE_NODE* node, void* arg)
        {
            std::string& seen = *static_cast<std::string*>(arg);
            seen += node->key;
            return strcmp(node->key, "h") != 0;
        }
    };
    std::string in, pre, post;
    EXPECT_EQ(config_btree_inorder_traverse(m_lpTree, Until::Visit, &in), 0);
    EXPECT_EQ(config_btree_preorder_traverse(m_lpTree, Until::Visit, &pre), 0);
    EXPECT_EQ(config_btree_postorder_traverse(m_lpTree, Until::Visit, &post), 0);
    EXPECT_EQ(in, "acdfh");
    EXPECT_EQ(pre, "mfcadh");
    EXPECT_EQ(post, "adch");

    std::string all;
    EXPECT_EQ(config_btree_postorder_traverse(m_lpTree, Collect, &all), 1);
    EXPECT_EQ(all, "adchfqpwtm");
}

TEST_F(IniTree, ByteOrderWithPrefixesAndHighBytes)
{
    for (const char* k : {"volume", "vol", "voice_gps", "voice_g_snapshot", "\xC3\xA9", "V"}) {
        ASSERT_EQ(config_btree_insert_node(m_lpTree, config_btree_create_node(k, 0, nullptr, 0)), 1);
    }
    std::vector<std::string> order;
    struct Walk {
        static int Visit(CONFIG_BTREE_NODE* node, void* arg)
        {
            static_cast<std::vector<std::string>*>(arg)->push_back(node->key);
            return 1;
        }
    };
    config_btree_inorder_traverse(m_lpTree, Walk::Visit, &order);
    EXPECT_EQ(order, (std::vector<std::string>{"V", "voice_g_snapshot", "voice_gps", "vol", "volume", "\xC3\xA9"}));
}

TEST_F(IniTree, NodeDataIsAlwaysTerminated)
{
    // No data: five zero bytes. Data: its bytes, then at least three zeros.
    CONFIG_BTREE_NODE* none = config_btree_create_node("key", 0, nullptr, 0);
    const char* d = static_cast<const char*>(none->data);
    EXPECT_STREQ(none->key, "key");
    for (int i = 0; i < 5 + 3; ++i) {
        EXPECT_EQ(d[i], '\0') << i;
    }
    config_btree_free_node(none);

    const char raw[4] = {'a', 'b', 'c', 'd'};
    CONFIG_BTREE_NODE* node = config_btree_create_node("keyword", 3, raw, 3);
    EXPECT_STREQ(node->key, "key");
    EXPECT_STREQ(static_cast<const char*>(node->data), "abc");
    config_btree_free_node(node);

    EXPECT_EQ(config_btree_create_node(nullptr, 0, nullptr, 0), nullptr);
    EXPECT_EQ(config_btree_create_node("k", -1, nullptr, 0), nullptr);
    EXPECT_EQ(config_btree_create_node("k", 0, nullptr, 4), nullptr);
}

TEST_F(IniTree, ListDeepAsALongSortedFile)
{
    // A sorted file makes every node the right child of the one before.
    const int kDepth = 1000000;
    std::vector<std::string> keys(kDepth);
    CONFIG_BTREE_NODE** link = &m_lpTree->root;
    for (int i = 0; i < kDepth; ++i) {
        char name[16];
        snprintf(name, sizeof(name), "k%07d", i);
        CONFIG_BTREE_NODE* node = config_btree_create_node(name, 0, "1", 1);
        *link = node;
        link = &node->right;
    }
    m_lpTree->numNodes = kDepth;

    int count = 0;
    struct Count {
        static int Visit(CONFIG_BTREE_NODE*, void* arg)
        {
            ++*static_cast<int*>(arg);
            return 1;
        }
    };
    EXPECT_EQ(config_btree_inorder_traverse(m_lpTree, Count::Visit, &count), 1);
    EXPECT_EQ(config_btree_preorder_traverse(m_lpTree, Count::Visit, &count), 1);
    EXPECT_EQ(config_btree_postorder_traverse(m_lpTree, Count::Visit, &count), 1);
    EXPECT_EQ(count, 3 * kDepth);
    EXPECT_NE(config_btree_find_node(m_lpTree, "k0999999"), nullptr);
    // TearDown destroys it the same way.
}

}  // namespace
