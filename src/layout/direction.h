// Writing direction of runs, blocks and groups.
//
// Direction codes (bits 12-15 of m_nFlags): 0 undetermined, 1 horizontal left to right,
// 2 horizontal right to left, 3 vertical columns left to right, 4 vertical columns right to
// left, 5 vertical (one column, or columns right to left), 6 and 7 slanted lines (7 stepping
// leftwards), 8 to 10 as 3 to 5 found with the slanted-line column test.
#pragma once

class CTextBlock;

// Determines the direction of block, stores it in the direction bits and returns it.
//   run: from the origins of its first two characters (0 for fewer than two);
//   group (level 2 and more): its first directed child's direction when every directed child
//     is compatible with it (JoinDirection), else 0;
//   level 1: sorts the children into stream order (SortBlocks mode 0) and reads the most
//     frequent steps between consecutive children.
// For a level-1 block pModeDx and pModeDy, when given, receive the most frequent rounded steps
// of left edges and of bottoms between consecutive children (the slope of slanted lines is
// modeDy / modeDx); 0 for other blocks and for fewer than two children.
int DetermineDirection(CTextBlock* block, double* pModeDx = nullptr, double* pModeDy = nullptr);

// Column test of a level-1 block whose children stand in columns: 3 (+5 when slanted) when the
// second column lies right of the first and later in the stream, 5 (+5) otherwise or with a
// single column, 0 when the last child alone starts the second column (or there are no
// children). Walks the children in stream order.
int VerticalKind(const CTextBlock* block, bool slanted);
