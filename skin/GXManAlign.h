#pragma once

#include "foundation/RectGeometry.h"
#include "skin/GXConBase.h"
#include "skin/SGxAlign.h"

#include <memory>
#include <vector>

// Thread: user-interface thread of the skin window that owns the tree.
// The layout tree of a skin window: one node per control, nested as the
// control elements are nested in the skin. Walking it gives every control
// its rectangle through SetPos. Docked children take their strip from what
// remains of the parent, in the order the skin lists them. A node owns its
// children; controls belong to the window.
class GXManAlign {
public:
    // A root node; SetRoot binds it to the window's own control part.
    GXManAlign();
    virtual ~GXManAlign();
    GXManAlign(const GXManAlign&) = delete;
    GXManAlign& operator=(const GXManAlign&) = delete;

    void SetRoot(GXConBase* pControl);
    // Appends a node for the control with a copy of its record.
    GXManAlign* AddChild(GXConBase* pControl, const SGxAlign& align);

    // The window's size changed (nSizeType as the resize reports it: 0
    // restored, 1 minimised, 2 maximised, ...); only 0 and 2 lay out, a
    // minimised window keeps every control where it was.
    void Relayout(int nSizeType, int nWidth, int nHeight);
    // Places every child inside (0, 0, width, height) of this node.
    void Layout(int nWidth, int nHeight);
    // Sets this node's rectangle (inset by its gaps), moves its control and
    // lays out its children. The splitters move their panes with it.
    void Place(int nLeft, int nTop, int nRight, int nBottom);
    // This node's top-left corner in window coordinates.
    [[nodiscard]] GXPoint GetOrigin() const;
    // Depth first, each child tested before it is searched.
    [[nodiscard]] GXManAlign* FindNode(const GXConBase* pControl);

    // Passed to every SetPos of a walk; only the root's value counts. The
    // window turns it off for the walk of a refresh request.
    void SetRedraw(GXConBase::Redraw redraw) { m_redraw = redraw; }
    [[nodiscard]] GXConBase::Redraw GetRedraw() const { return m_redraw; }

    [[nodiscard]] const SRect& GetNodeRect() const { return m_rect; }
    [[nodiscard]] const SGxAlign& GetAlign() const { return m_align; }
    // A splitter drag resizes its pane; the next walk uses the new size.
    void SetExtent(int nWidth, int nHeight)
    {
        m_align.nWidth = nWidth;
        m_align.nHeight = nHeight;
    }
    [[nodiscard]] GXConBase* GetControl() const { return m_pControl; }

private:
    GXManAlign(GXManAlign* pParent, GXConBase* pControl, const SGxAlign& align);

    [[nodiscard]] GXConBase::Redraw RootRedraw() const;

    GXConBase* m_pControl = nullptr;
    bool m_bRoot = false;
    SGxAlign m_align;
    std::vector<std::unique_ptr<GXManAlign>> m_children;
    GXManAlign* m_pParent = nullptr;
    // Relative to the parent node's rectangle.
    SRect m_rect;
    GXConBase::Redraw m_redraw = GXConBase::Redraw::Yes;
};
