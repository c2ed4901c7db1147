#pragma once

#include <QList>

#include <vector>

// Puts a list's items in a new order without copying them: their nodes are swapped.
class ListPermutation
{
public:
    ListPermutation() = delete;

    // order[i] is the index of the item that belongs at i; each cycle is followed once.
    template<typename T>
    static void apply(QList<T> &list, const std::vector<int> &order)
    {
        const int n = int(order.size());
        std::vector<bool> placed(order.size(), false);
        for (int start = 0; start < n; ++start) {
            if (placed[size_t(start)])
                continue;
            int at = start;
            while (order[size_t(at)] != start) {
                const int from = order[size_t(at)];
                list.swapItemsAt(at, from);
                placed[size_t(at)] = true;
                at = from;
            }
            placed[size_t(at)] = true;
        }
    }
};
