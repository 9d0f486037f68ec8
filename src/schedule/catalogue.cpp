#include "schedule/catalogue.h"

#include "common/text.h"

namespace hw::schedule {

const std::array<ResetItem, kResetItemCount> kResetItems = {{
    {0, "Thandrel's Quests", "Thandrel's Quests", "Reset the Thandrel quests and the logs.", 75, 45, true, true},
    {1, "Guild Master Log", "Guild Master Log", "Resets the Guild Level Log found in the Guild Hall", 75, 360, true, true},
    {2, "Visited Userlist", "Visited Userlist", "Resets the list of users that have been on the server.", 75, 675, false, false},
    {3, "Banned Userlist", "Banned Userlist", "Remove all users that have been banned.", 90, 990, false, false},
    {4, "Transaction List", "Transaction List",
     "Resets the transaction list on the server- who sold and bought stuff from the store.", 90, 1290, true, true},
    {5, "Store Inventory", "Store Inventory", "Resets the inventory of the store to the default set of goods.", 1785, 45, true, true},
    {6, "Server Monsters", "Server Monsters", "Repopulates the Dungeon.", 1785, 360, false, true},
    {7, "Message Boards", "Message Boards", "Resets messages on the server and the Bounty Board.", 1785, 675, false, false},
    {8, "Player Bounties", "Player Bounties", "Resets bounties on the bounty board to show no bounties.", 1770, 990, false, false},
    {9, "Library Info", "Library Info", "Resets the Library knowledge base.", 3600, 675, false, false},
    {10, "Hall of Records", "Hall of Records", "Resets the information in the Hall of Records", 3600, 45, false, true},
    {11, "Guild Spells", "Guild Spells", "Resets all the spells that were turned into the guilds.", 3600, 360, false, false},
    {12, "Version Data", "Version Data", "Resets the file which contains version information.", 1770, 1290, false, false},
    {13, "Confinement", "Confinement", "Resets the companion store.", 3600, 990, true, true},
    {14, "GUILD CREST", "Guild Crests",
     "Resets the Guild Masters so that lower level characters can get the guild crests at the lowest "
     "experience level allowed.",
     3600, 1290, false, true},
    {15, "Public Messages", "Public Messages", "Resets the public messagers (\"user talk\").", 90, 1605, true, true},
}};

const std::array<Frequency, 5> kFrequencies = {{
    {kDaily, "Daily"}, {kWeekly, "Weekly"}, {kMonthly, "Monthly"},
    {kEveryRestart, "Every Restart"}, {kNextRestart, "Next Restart"},
}};

std::string ItemKey(const ResetItem& item) { return text::Upper(item.name); }

const ResetItem* FindResetItem(const std::string& name) {
    const std::string key = text::Upper(name);
    for (const ResetItem& item : kResetItems)
        if (ItemKey(item) == key) return &item;
    return nullptr;
}

namespace {

// Eight small pictures, shared by items of a kind, each in its own colours.
const ItemIcon kScroll = {{
    "                ", "  2222222222    ", " 211111111112   ", " 21333333312    ", "  2111111112    ",
    "  2133333312    ", "  2111111112    ", "  2133333312    ", "  2111111112    ", "  2133333312    ",
    "  2111111112    ", "  21333333112   ", " 211111111112   ", "  2222222222    ", "                ",
    "                "}, {0xF2E2B0, 0x8A5A20, 0x604020, 0}};
const ItemIcon kPeople = {{
    "                ", "    11     22   ", "   1111   2222  ", "   1111   2222  ", "    11     22   ",
    "                ", "  111111 222222 ", " 111111112222222", " 111111112222222", " 11111111222222 ",
    "                ", "   3333333333   ", "   3        3   ", "   3333333333   ", "                ",
    "                "}, {0x3060C0, 0x40A040, 0x404040, 0}};
const ItemIcon kCoins = {{
    "                ", "      2222      ", "    22111122    ", "   2111111112   ", "   2113333112   ",
    "  211311113112  ", "  211311113112  ", "  211311113112  ", "  211311113112  ", "   2113333112   ",
    "   2111111112   ", "    22111122    ", "      2222      ", "                ", "                ",
    "                "}, {0xF0C030, 0x906010, 0xC08020, 0}};
const ItemIcon kSkull = {{
    "                ", "     111111     ", "   1111111111   ", "  111111111111  ", "  112211112211  ",
    "  122221122221  ", "  112211112211  ", "  111111111111  ", "   1111221111   ", "    11111111    ",
    "    13131313    ", "    11111111    ", "     111111     ", "                ", "                ",
    "                "}, {0xE8E8E0, 0x202020, 0x808080, 0}};
const ItemIcon kMessage = {{
    "                ", "  222222222222  ", " 21111111111112 ", " 21333333333112 ", " 21111111111112 ",
    " 21333333311112 ", " 21111111111112 ", " 21333311111112 ", " 21111111111112 ", "  2222221222222 ",
    "       212      ", "       22       ", "      22        ", "                ", "                ",
    "                "}, {0xFFFFFF, 0x305080, 0x8090A0, 0}};
const ItemIcon kBook = {{
    "                ", "   22222222222  ", "  211111111112  ", "  213333333112  ", "  211111111112  ",
    "  213333331112  ", "  211111111112  ", "  213333333112  ", "  211111111112  ", "  211111111112  ",
    "  222222222222  ", "  244444444442  ", "   22222222222  ", "                ", "                ",
    "                "}, {0x60A0E0, 0x203060, 0xD0E0F0, 0xF0F0F0}};
const ItemIcon kShield = {{
    "                ", "  222222222222  ", "  211113311112  ", "  211113311112  ", "  233333333332  ",
    "  233333333332  ", "  211113311112  ", "  211113311112  ", "   2111331112   ", "   2111331112   ",
    "    21133112    ", "     211112     ", "      2222      ", "                ", "                ",
    "                "}, {0xB02020, 0x402010, 0xF0D040, 0}};
const ItemIcon kChain = {{
    "                ", "   1111         ", "  11  11        ", "  1    1        ", "  11  1111      ",
    "   111  11      ", "     1    1     ", "     11  1111   ", "      111  11   ", "        1    1  ",
    "        11  11  ", "         1111   ", "                ", "   2222222222   ", "                ",
    "                "}, {0x707880, 0x404040, 0, 0}};

const ItemIcon* const kIconOfItem[kResetItemCount] = {
    &kScroll,   // Thandrel's Quests
    &kScroll,   // Guild Master Log
    &kPeople,   // Visited Userlist
    &kPeople,   // Banned Userlist
    &kCoins,    // Transaction List
    &kCoins,    // Store Inventory
    &kSkull,    // Server Monsters
    &kMessage,  // Message Boards
    &kShield,   // Player Bounties
    &kBook,     // Library Info
    &kBook,     // Hall of Records
    &kBook,     // Guild Spells
    &kScroll,   // Version Data
    &kChain,    // Confinement
    &kShield,   // GUILD CREST
    &kMessage,  // Public Messages
};

const DragCursor kDragCursor = {{
    "                XX              ", "               X..X             ", "               X..X             ",
    "               X..X             ", "               X..X             ", "               X..XXX           ",
    "               X..X..XXX        ", "               X..X..X..XX      ", "            XX X..X..X..X.X     ",
    "           X..XX........X..X    ", "           X...X...........X    ", "            X..............X    ",
    "             X.............X    ", "             X.............X    ", "              X...........X     ",
    "              X...........X     ", "               X.........X      ", "               XXXXXXXXXXX      ",
    "          XXXXXXXXXXXXXXXXXXXX  ", "          X..................X  ", "          X..XXXXXXXXXXXXXX..X  ",
    "          X..X............X..X  ", "          X..X............X..X  ", "          X..XXXXXXXXXXXXXX..X  ",
    "          X..................X  ", "          XXXXXXXXXXXXXXXXXXXX  ", "                                ",
    "                                ", "                                ", "                                ",
    "                                ", "                                "}, 16, 8};

}  // namespace

const ItemIcon& ResetItemIcon(int index) { return *kIconOfItem[index & 15]; }

const DragCursor& ResetItemDragCursor() { return kDragCursor; }

}  // namespace hw::schedule
