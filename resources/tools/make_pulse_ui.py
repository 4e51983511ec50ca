#!/usr/bin/python3
"""Writes the builder definitions of the pulse views (pulseDisplay.ui,
pulseDisplayHalf.ui) into the resources folder beside this script.

The views are built by the meter from these files; the program sets fonts,
colours and pictures itself, so the files hold only the widget tree, the ids
and the packing. Run after changing the layout; the output is committed.
"""
from pathlib import Path
from xml.sax.saxutils import escape

OUT = Path(__file__).resolve().parent.parent


class W:
    """One object of a builder file with its properties, packing and children."""

    def __init__(self, cls, wid=None, props=None, packing=None, children=(), child_type=None):
        self.cls, self.wid = cls, wid
        self.props = dict(props or {})
        self.packing = dict(packing or {})
        self.children = list(children)
        self.child_type = child_type

    def xml(self, depth):
        pad = "  " * depth
        ident = f' id="{self.wid}"' if self.wid else ""
        out = [f'{pad}<object class="{self.cls}"{ident}>']
        for key, value in self.props.items():
            out.append(f'{pad}  <property name="{key}">{escape(str(value))}</property>')
        for child in self.children:
            kind = f' type="{child.child_type}"' if child.child_type else ""
            out.append(f"{pad}  <child{kind}>")
            out.extend(child.xml(depth + 2))
            if child.packing:
                out.append(f"{pad}    <packing>")
                for key, value in child.packing.items():
                    out.append(f'{pad}      <property name="{key}">{value}</property>')
                out.append(f"{pad}    </packing>")
            out.append(f"{pad}  </child>")
        out.append(f"{pad}</object>")
        return out


def write(name, comment, top):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', f"<!-- {comment} -->", "<interface>",
             '  <requires lib="gtk+" version="3.20"/>']
    for obj in top:
        lines.extend(obj.xml(1))
    lines.append("</interface>")
    (OUT / name).write_text("\n".join(lines) + "\n")


def at(col, row, width=1):
    p = {"left_attach": col, "top_attach": row}
    if width != 1:
        p["width"] = width
    return p


def label(wid, text, col=None, row=None, xalign=0.0, width_chars=None, name=None):
    props = {"visible": "True", "label": text, "xalign": xalign}
    if width_chars:
        props["width_chars"] = width_chars
    if name:
        props["name"] = name
    return W("GtkLabel", wid, props, at(col, row) if col is not None else None)


def button(wid, text=None, col=None, row=None, name="pulseDisplay"):
    props = {"visible": "True", "can_focus": "False", "receives_default": "False", "relief": "none",
             "name": name}
    children = []
    if text is not None:
        props["label"] = text
    return W("GtkButton", wid, props, at(col, row) if col is not None else None, children)


def grid(wid, children, row_spacing=0, col_spacing=12, packing=None):
    return W("GtkGrid", wid, {"visible": "True", "name": "pulseDisplay", "row_spacing": row_spacing,
                              "column_spacing": col_spacing}, packing, children)


# ---- pulse views ----------------------------------------------------------

def ctl_box(wid, prefix, col, row):
    return W("GtkBox", wid, {"visible": "True", "name": "pulseDisplay", "spacing": 4}, at(col, row),
             [button(f"pulse.btn{prefix}ScaleUp"), button(f"pulse.btn{prefix}ScaleDown"),
              button(f"pulse.btn{prefix}ScaleAuto")])


def attr_grid(row_spacing):
    rows = [
        label("pulse.lblFwd", "FWD:", 0, 0), label("pulse.valueFwd", "", 1, 0, 1.0, 8),
        button("pulse.btnUnitsFwd", "W", 2, 0), ctl_box("pulse.fwdCtlBox", "Fwd", 3, 0),
        label("pulse.lblRfl", "RFL:", 0, 1), label("pulse.valueRfl", "", 1, 1, 1.0, 8),
        button("pulse.btnUnitsRfl", "W", 2, 1), ctl_box("pulse.rflCtlBox", "Rfl", 3, 1),
    ]
    timing = [("Prd", "Period", "PERIOD:"), ("Repeat", "Repeat", "PRF:"), ("Width", "Width", "WIDTH:"),
              ("Duty", "Duty", "DUTY:"), ("Freq", "Freq", "FREQ:")]
    for i, (lbl, value, title) in enumerate(timing):
        r = i + 2
        rows += [label(f"pulse.lbl{lbl}", title, 0, r), label(f"pulse.value{value}", "", 1, r, 1.0, 8),
                 label(f"pulse.units{value}", "", 2, r, 0.0)]
    return grid("pulse.gridAttr", rows, row_spacing)


def state_grid(packing=None, row_spacing=0):
    rows = [label("pulse.lblState", "State", 0, 0), label("pulse.lblMean", "Mean", 1, 0, 1.0),
            label("pulse.lblMax", "Max", 2, 0, 1.0), label("pulse.lblMin", "Min", 3, 0, 1.0)]
    for n in range(1, 5):
        rows += [label(f"pulse.lblState{n}", f"State {n}", 0, n), label(f"pulse.valueMean{n}", "", 1, n, 1.0, 8),
                 label(f"pulse.valueMax{n}", "", 2, n, 1.0, 8), label(f"pulse.valueMin{n}", "", 3, n, 1.0, 8),
                 button(f"pulse.btnUnits{n}", "W", 4, n), button(f"pulse.btnScaleUp{n}", None, 5, n),
                 button(f"pulse.btnScaleDown{n}", None, 6, n), button(f"pulse.btnScaleAuto{n}", None, 7, n)]
    return grid("pulse.gridState", rows, row_spacing, 10, packing)


def gate_grid(packing=None):
    rows = [label("pulse.lblGated", "Gated", 0, 0), label("pulse.lblGatedMean", "Mean", 1, 0, 1.0),
            label("pulse.lblGatedMax", "Max", 2, 0, 1.0), label("pulse.lblGatedMin", "Min", 3, 0, 1.0),
            label("pulse.valueGatedMean", "", 1, 1, 1.0, 8), label("pulse.valueGatedMax", "", 2, 1, 1.0, 8),
            label("pulse.valueGatedMin", "", 3, 1, 1.0, 8), button("pulse.btnGatedUnits", "W", 4, 1),
            button("pulse.btnGatedScaleUp", None, 5, 1), button("pulse.btnGatedScaleDown", None, 6, 1),
            button("pulse.btnGatedAuto", None, 7, 1)]
    return grid("pulse.gridGate", rows, 0, 10, packing)


def title_row(width, title_x, config_x, config_y):
    return [W("GtkButton", "pulse.btnTitle", {"visible": "True", "can_focus": "False", "relief": "none",
                                              "label": "P80x", "name": "pulseDisplay"}, {"x": title_x, "y": 0}),
            W("GtkButton", "pulse.btnConfig", {"visible": "True", "can_focus": "False", "relief": "none",
                                               "name": "pulseDisplay", "tooltip_text": "Pulse configuration"},
              {"x": config_x, "y": config_y})]


def pulse_full():
    page = W("GtkBox", "pulse.attrGrid", {"visible": "True", "name": "pulseDisplay", "orientation": "vertical",
                                          "spacing": 18}, {"x": 40, "y": 62},
             [attr_grid(0), state_grid(), gate_grid()])
    screen = W("GtkFixed", "pulse.screen", {"visible": "True", "name": "pulseDisplay", "width_request": 1024,
                                            "height_request": 688}, None, title_row(1024, 40, 960, 8) + [page])
    write("pulseDisplay.ui", "The full-screen pulse view: average power, timing, and the gated or state powers.",
          [screen])


def pulse_half():
    def tab(wid, text):
        t = label(wid, text)
        t.child_type = "tab"
        return t

    values = W("GtkBox", "pulse.attrGrid", {"visible": "True", "name": "pulseDisplay", "orientation": "vertical"},
               None, [attr_grid(0)])
    notebook = W("GtkNotebook", "pulse.notebook", {"visible": "True", "can_focus": "False", "name": "pulseDisplay",
                                                   "width_request": 1000, "height_request": 296,
                                                   "show_border": "False"}, {"x": 12, "y": 44},
                 [values, tab("pulse.tabValues", "Values"), state_grid(None, 0), tab("pulse.tabStates", "States"),
                  gate_grid(), tab("pulse.tabGatedPower", "Gated Power")])
    screen = W("GtkFixed", "pulse.screen", {"visible": "True", "name": "pulseDisplay", "width_request": 1024,
                                            "height_request": 344}, None, title_row(1024, 20, 960, 0) + [notebook])
    write("pulseDisplayHalf.ui", "The half-screen pulse view of one channel: values, states and gated power on tabs.",
          [screen])


if __name__ == "__main__":
    pulse_full()
    pulse_half()
