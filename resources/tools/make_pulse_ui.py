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
        rows += [label(f"pulse.lblState{n}", f"State {n}", 0, n), label(f"pulse.valueMean{n}", "", 1, n, 1.0, 7),
                 label(f"pulse.valueMax{n}", "", 2, n, 1.0, 7), label(f"pulse.valueMin{n}", "", 3, n, 1.0, 7),
                 button(f"pulse.btnUnits{n}", "W", 4, n), button(f"pulse.btnScaleUp{n}", None, 5, n),
                 button(f"pulse.btnScaleDown{n}", None, 6, n), button(f"pulse.btnScaleAuto{n}", None, 7, n)]
    return grid("pulse.gridState", rows, row_spacing, 10, packing)


def gate_grid(packing=None):
    rows = [label("pulse.lblGated", "Gated", 0, 0), label("pulse.lblGatedMean", "Mean", 1, 0, 1.0),
            label("pulse.lblGatedMax", "Max", 2, 0, 1.0), label("pulse.lblGatedMin", "Min", 3, 0, 1.0),
            label("pulse.valueGatedMean", "", 1, 1, 1.0, 7), label("pulse.valueGatedMax", "", 2, 1, 1.0, 7),
            label("pulse.valueGatedMin", "", 3, 1, 1.0, 7), button("pulse.btnGatedUnits", "W", 4, 1),
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
                                          "spacing": 18}, {"x": 30, "y": 62},
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
                                                   "width_request": 1000, "height_request": 304,
                                                   "show_border": "False"}, {"x": 12, "y": 38},
                 [values, tab("pulse.tabValues", "Values"), state_grid(None, 0), tab("pulse.tabStates", "States"),
                  gate_grid(), tab("pulse.tabGatedPower", "Gated Power")])
    screen = W("GtkFixed", "pulse.screen", {"visible": "True", "name": "pulseDisplay", "width_request": 1024,
                                            "height_request": 344}, None, title_row(1024, 20, 960, 0) + [notebook])
    write("pulseDisplayHalf.ui", "The half-screen pulse view of one channel: values, states and gated power on tabs.",
          [screen])


# ---- pulse configuration dialogs --------------------------------------------

def entry(wid, col, row):
    return W("GtkEntry", wid, {"visible": "True", "can_focus": "True", "width_chars": 10, "xalign": 1.0,
                               "name": "pulseConfigEntry"}, at(col, row))


def units(wid, text, col, row):
    return W("GtkButton", wid, {"visible": "True", "can_focus": "False", "receives_default": "False",
                                "label": text, "name": "pulseConfigUnits"}, at(col, row))


def check(wid, col, row):
    return W("GtkCheckButton", wid, {"visible": "True", "can_focus": "False", "label": "Auto",
                                     "draw_indicator": "True"}, at(col, row))


def radio(wid, text, col, row, group=None):
    props = {"visible": "True", "can_focus": "False", "label": text, "draw_indicator": "True"}
    if group:
        props["group"] = group
    return W("GtkRadioButton", wid, props, at(col, row))


def cfg_label(wid, text, col, row, width=1):
    w = label(wid, text, col, row)
    if width != 1:
        w.packing["width"] = width
    return w


def keypad():
    keys = [("btnKeypad7", "7", 0, 0), ("btnKeypad8", "8", 1, 0), ("btnKeypad9", "9", 2, 0),
            ("btnKeypad4", "4", 0, 1), ("btnKeypad5", "5", 1, 1), ("btnKeypad6", "6", 2, 1),
            ("btnKeypad1", "1", 0, 2), ("btnKeypad2", "2", 1, 2), ("btnKeypad3", "3", 2, 2),
            ("btnKeypadMinus", "-", 0, 3), ("btnKeypad0", "0", 1, 3), ("btnKeypadPeriod", ".", 2, 3),
            ("btnKeypadBackspace", "Bksp", 0, 4), ("btnKeypadClear", "Clear", 1, 4), ("btnKeypadNext", "Next", 2, 4)]
    children = [W("GtkButton", wid, {"visible": "True", "can_focus": "False", "receives_default": "False",
                                     "label": text, "name": "pulseConfigKey", "width_request": 76,
                                     "height_request": 60}, at(col, row)) for wid, text, col, row in keys]
    return W("GtkGrid", "pulse.keypad", {"visible": "True", "row_spacing": 6, "column_spacing": 6,
                                         "row_homogeneous": "True", "column_homogeneous": "True"}, None, children)


def action_box():
    buttons = [("pulse.btnRestore", "Restore"), ("pulse.btnApply", "Apply"),
               ("pulse.btnApplyAndStore", "Apply and Store"), ("pulse.btnCancel", "Cancel")]
    return W("GtkBox", "pulse.actionBox", {"visible": "True", "orientation": "vertical", "spacing": 8,
                                           "homogeneous": "True"}, None,
             [W("GtkButton", wid, {"visible": "True", "can_focus": "False", "receives_default": "False",
                                   "label": text, "name": "pulseConfigAction", "height_request": 44})
              for wid, text in buttons])


def gate_rows(first_row):
    r = first_row
    return [cfg_label("pulse.lblGateDelays", "Gate Delays", 0, r, 4),
            cfg_label("pulse.lblBegin", "Begin:", 0, r + 1), entry("pulse.entryBegin", 2, r + 1),
            units("pulse.btnUnitsBegin", "us", 3, r + 1),
            cfg_label("pulse.lblEnd", "End:", 0, r + 2), entry("pulse.entryEnd", 2, r + 2),
            units("pulse.btnUnitsEnd", "us", 3, r + 2)]


def config_dialog(name, comment, cfg_rows, extra):
    cfg = W("GtkGrid", "pulse.cfgBox", {"visible": "True", "row_spacing": 6, "column_spacing": 10}, None, cfg_rows)
    attr = W("GtkBox", "pulse.attrBox", {"visible": "True", "orientation": "vertical", "spacing": 10}, None,
             [label("pulse.labelTitle", "Sensor Model", xalign=0.5, name="pulseConfigTitle"), cfg] + extra)
    right = W("GtkBox", None, {"visible": "True", "orientation": "vertical", "spacing": 16}, None,
              [keypad(), action_box()])
    row = W("GtkBox", None, {"visible": "True", "spacing": 24}, None, [attr, right])
    vbox = W("GtkBox", None, {"visible": "True", "orientation": "vertical"}, None, [row])
    vbox.child_type = None
    dialog = W("GtkDialog", "pulseConfigTwoStateDialog",
               {"name": "pulseConfigDialog", "can_focus": "False", "title": "Pulse Configuration", "modal": "True",
                "resizable": "False", "decorated": "False", "border_width": 16, "type_hint": "dialog"},
               None, [])
    lines = dialog.xml(1)
    inner = ['    <child internal-child="vbox">'] + vbox.xml(3) + ["    </child>"]
    lines = lines[:-1] + inner + lines[-1:]
    out = ['<?xml version="1.0" encoding="UTF-8"?>', f"<!-- {comment} -->", "<interface>",
           '  <requires lib="gtk+" version="3.20"/>'] + lines + ["</interface>"]
    (OUT / name).write_text("\n".join(out) + "\n")


def freq_row():
    return [cfg_label("pulse.freqLabel", "Frequency:", 0, 0), check("pulse.chkFreqAuto", 1, 0),
            entry("pulse.freqValue", 2, 0), units("pulse.freqUnits", "MHz", 3, 0)]


def config_p803():
    config_dialog("pulseConfigP803.ui", "Pulse configuration of a P803 family sensor: frequency and gate.",
                  freq_row() + gate_rows(1), [])


def config_p804():
    rows = freq_row() + [
        cfg_label("pulse.periodLabel", "Period:", 0, 1), check("pulse.chkPeriodAuto", 1, 1),
        entry("pulse.periodValue", 2, 1), units("pulse.periodUnits", "ms", 3, 1),
        cfg_label("pulse.levelLabel", "Trigger Level:", 0, 2), check("pulse.chkLevelAuto", 1, 2),
        entry("pulse.levelValue", 2, 2), units("pulse.levelUnits", "mW", 3, 2),
        cfg_label("pulse.delayLabel", "Trigger Delay:", 0, 3), entry("pulse.delayValue", 2, 3),
        units("pulse.delayUnits", "us", 3, 3),
        cfg_label("pulse.edgeLabel", "Trigger Edge:", 0, 4), radio("pulse.radioRising", "Rising", 1, 4),
        radio("pulse.radioFalling", "Falling", 2, 4, "pulse.radioRising"),
        cfg_label("pulse.modeLabel", "Model:", 0, 5), radio("pulse.radioPulseGate", "Pulse Gate", 1, 5),
        radio("pulse.radioTriggeredGates", "Triggered Gates", 2, 5, "pulse.radioPulseGate"),
    ]
    delay = W("GtkGrid", "pulse.delayGrid", {"visible": "True", "row_spacing": 6, "column_spacing": 10}, None,
              gate_rows(0))
    states = W("GtkGrid", "pulse.stateGrid", {"visible": "True", "row_spacing": 6, "column_spacing": 10}, None,
               [label("pulse.hdrGate", "State", 0, 0, name="triggeredGate"),
                label("pulse.hdrBegin", "Begin", 1, 0, 0.5, name="triggeredGate"),
                label("pulse.hdrEnd", "End", 3, 0, 0.5, name="triggeredGate"),
                label("pulse.hdrDelete", "Delete", 5, 0, 0.5, name="triggeredGate")])
    add = W("GtkButton", "pulse.btnAddState", {"visible": "True", "can_focus": "False", "receives_default": "False",
                                               "label": "Add State", "name": "pulseConfigAction", "halign": "start"})
    config_dialog("pulseConfigP804.ui", "Pulse configuration of a P804 family sensor: timing, trigger and "
                  "either the gate or up to four states.", rows, [delay, states, add])


if __name__ == "__main__":
    pulse_full()
    pulse_half()
    config_p803()
    config_p804()
