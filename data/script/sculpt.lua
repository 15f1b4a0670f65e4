-- The tool panel. Panel units are centimetres at full size, x to the right, y downwards, with
-- the carrying hand at (0, 0). processUI runs once per eye; a button reports its click only in
-- the first eye, so every action below happens once per press.

local PANEL_X, PANEL_Y, PANEL_W, PANEL_H = -19, -31, 38, 75
local LEFT = PANEL_X + 1.5
local TEXT_SCALE = 0.4

local TOOLS = {
  { name = "Add", icon = "plus" },
  { name = "Subtract", icon = "minus" },
  { name = "Paint", icon = "paint" },
  { name = "Dropper", icon = "dropper" },
  { name = "Buff", icon = "circle" },
  { name = "Sandpaper", icon = "square" },
}

local SHAPES = {
  { name = "Sphere", icon = "sphere" },
  { name = "Box", icon = "box" },
  { name = "Cylinder", icon = "cylinder" },
}

local SCENES = { "materials", "default", "marble" }
local SLOT_COUNT = 4

-- What the last load or save did, shown beside the sculpture heading until the next one or
-- until the sculpture changes.
local status = ""
-- The action waiting on "Save changes to ...?" (New, Load, a scene, a dropped file, quitting).
local pending = nil
-- A slot button was clicked since the sculpture became the file it is: Save writes the slot.
local slotChosen = false
local lastPath = nil
local lastUnsaved = 0

local function slotPath(n)
  return "sculptures/slot" .. n .. ".sculpt"
end

local function exportPath(n)
  return "sculptures/slot" .. n .. ".glb"
end

local function isSlotPath(path)
  return path ~= nil and string.match(path, "^sculptures/slot%d+%.sculpt$") ~= nil
end

-- Save writes back to a file opened from outside the slots (the command line, a dropped file)
-- until a slot is chosen; otherwise to the chosen slot.
local function savesToDocument()
  return document_path ~= nil and document_path ~= "" and not isSlotPath(document_path) and
         not slotChosen
end

local function saveTargetName()
  if savesToDocument() then return document_name end
  return "slot " .. slot
end

local function saveCurrent()
  if savesToDocument() then
    local name = document_name
    if saveDocument() then
      print("Saved " .. document_path .. "\n")
      status = "Saved " .. name
      return true
    end
    print("Save failed: " .. document_path .. " was not written\n")
  else
    if save(slotPath(slot)) then
      print("Saved " .. slotPath(slot) .. "\n")
      status = "Saved slot " .. slot
      return true
    end
    print("Save failed: " .. slotPath(slot) .. " was not written\n")
  end
  status = "Save failed!"
  return false
end

-- What a load said: loaded, loaded with damage recovered from, or why not.
local function loadStatus(what, loaded, why, warning)
  if loaded and why == "damaged" then
    print("Loaded " .. what .. " with damage: " .. (warning or "") .. "\n")
    status = "Loaded " .. what .. " (damaged: see the log)"
  elseif loaded then
    status = "Loaded " .. what
  elseif why == "empty" then
    status = what:gsub("^%l", string.upper) .. " is empty"
  else
    status = "Load failed: " .. what
  end
end

-- Does `action` at once, or first asks about work no file holds: Save (then the action, once
-- saved), Discard (the action) or Cancel.
local function askFirst(action)
  if unsaved ~= 1 then
    action()
    return
  end
  pending = action
  question_from_panel = 1
  question = "Save changes to " .. saveTargetName() .. "?"
  question_choices = "Save|Discard|Cancel"
  question_answer = ""
  print("Asking: " .. question .. "\n")
end

-- The answer to askFirst's question, and the requests of the application.
local function followRequests()
  if pending and question_answer ~= nil and question_answer ~= "" then
    local choice, action = question_answer, pending
    pending = nil
    question_from_panel = 0
    question = ""
    question_answer = ""
    print("Answered: " .. choice .. "\n")
    if choice == "Save" then
      if saveCurrent() then action() end
    elseif choice == "Discard" then
      action()
    end
  end
  -- One question at a time: a request waits while another is asked.
  if question ~= nil and question ~= "" then return end
  if quit_requested == 1 then
    quit_requested = 0
    askFirst(function() quit_confirmed = 1 end)
  elseif dropped_file ~= nil and dropped_file ~= "" then
    local path = dropped_file
    dropped_file = ""
    askFirst(function()
      local name = string.match(path, "[^/]+$") or path
      loadStatus(name, openFile(path))
    end)
  end
end

-- Defaults only where the application or an earlier run has not set a value yet, so that
-- reloading the script keeps the brush and colour the user picked.
local function default(name, value)
  if _G[name] == nil then _G[name] = value end
end

function init()
  default("tool", "Add")
  default("toolShape", "Sphere")
  default("drawSize", 0.04)
  -- A warm clay colour, given in both forms the application reads.
  default("material_h", 0.08)
  default("material_s", 0.45)
  default("material_v", 0.85)
  default("material_r", 0.85)
  default("material_g", 0.6511)
  default("material_b", 0.4675)
  default("material_metalness", 0.0)
  default("material_roughness", 0.5)
  default("floorsize", 4.0)
  default("light_env", 1)
  default("mirror", 0)
  default("slot", 1)
  -- A question of this script's from before a reload has lost the action it was asking about:
  -- it goes, and the action with it (nothing is dropped unasked).
  if question_from_panel == 1 then
    question_from_panel = 0
    question = ""
    question_answer = ""
  end
end

local function heading(text, y)
  label(text, LEFT, y)
end

-- A row of equal icon buttons with captions; returns the name of the one clicked, if any.
local function iconRow(items, current, y, size, gap)
  local clicked = nil
  for i, item in ipairs(items) do
    local x = LEFT + (i - 1) * (size + gap)
    if button(item.name, item.icon, x, y, size, size, item.name == current) then
      clicked = item.name
    end
  end
  return clicked
end

-- A question of the application's (question, its choices in question_choices separated by "|")
-- takes the panel's place until one of its buttons is clicked; the choice goes to question_answer.
local function processQuestion()
  local y = PANEL_Y + 30
  for line in string.gmatch(question, "[^\n]+") do
    label(line, LEFT, y)
    y = y + 2
  end
  local x = LEFT
  for choice in string.gmatch(question_choices or "", "[^|]+") do
    if textButton(choice, x, y + 1, 10, 5, false) then question_answer = choice end
    x = x + 11.5
  end
end

function processUI()
  setTextScale(TEXT_SCALE)
  beginPanel(PANEL_X, PANEL_Y, PANEL_W, PANEL_H)
  if document_path ~= lastPath then
    lastPath = document_path
    slotChosen = false
  end
  -- A new change makes an old "Saved" or "Loaded" wrong.
  if unsaved == 1 and lastUnsaved ~= 1 then status = "" end
  lastUnsaved = unsaved
  followRequests()
  if question ~= nil and question ~= "" then
    processQuestion()
    return
  end

  -- Tool and brush shape.
  heading("Tool", PANEL_Y + 3)
  local picked = iconRow(TOOLS, tool, PANEL_Y + 4, 5, 1)
  if picked then tool = picked end

  heading("Shape", PANEL_Y + 14)
  picked = iconRow(SHAPES, toolShape, PANEL_Y + 15, 5, 1)
  if picked then toolShape = picked end
  drawSize = slider("Size", LEFT + 18, PANEL_Y + 15, 17, 5, 0.005, 0.15, drawSize)

  -- Material: colour, metalness, roughness and a swatch of what the brush paints.
  heading("Material", PANEL_Y + 25)
  colorPicker("material", LEFT, PANEL_Y + 26, 15, 15, 0)
  rect(LEFT + 18, PANEL_Y + 26, 17, 3, material_r, material_g, material_b, 1)
  material_metalness = slider("Metalness", LEFT + 18, PANEL_Y + 30.5, 17, 3, 0, 1,
                              material_metalness)
  material_roughness = slider("Roughness", LEFT + 18, PANEL_Y + 36.5, 17, 3, 0, 1,
                              material_roughness)

  -- Sculpture: new, the slot to use, load and save.
  heading("Sculpture", PANEL_Y + 45)
  if button("New", "new", LEFT, PANEL_Y + 46, 4, 4, false) then
    askFirst(function() clear() end)
  end
  for n = 1, SLOT_COUNT do
    if textButton(tostring(n), LEFT + 5 + (n - 1) * 4.5, PANEL_Y + 46, 4, 4, slot == n) then
      slot = n
      slotChosen = true
    end
  end
  if button("Load", "load", LEFT + 24, PANEL_Y + 46, 4, 4, false) then
    local n = slot
    askFirst(function() loadStatus("slot " .. n, load(slotPath(n), 25)) end)
  end
  if button("Save", "save", LEFT + 29, PANEL_Y + 46, 4, 4, false) then saveCurrent() end
  -- The line beside the heading: a notice first, then what the last action did, else the
  -- sculpture's name, marked while it holds unsaved work.
  local line = status
  if notice ~= nil and notice ~= "" then
    line = notice
  elseif line == "" then
    line = (document_name ~= nil and document_name ~= "") and document_name or "New sculpture"
    if unsaved == 1 then line = line .. " *" end
  end
  label(line, LEFT + 14, PANEL_Y + 45)

  -- Lighting, mirror and the test scenes.
  heading("Scene", PANEL_Y + 55)
  if button("Day", "day", LEFT, PANEL_Y + 56, 4, 4, light_env == 1) then light_env = 1 end
  if button("Night", "night", LEFT + 4.5, PANEL_Y + 56, 4, 4, light_env == 0) then
    light_env = 0
  end
  if button("Mirror", "mirror", LEFT + 9, PANEL_Y + 56, 4, 4, mirror == 1) then
    mirror = 1 - mirror
  end
  -- The scene names are longer than the other captions: a smaller size keeps them inside.
  setTextScale(TEXT_SCALE * 0.85)
  for i, name in ipairs(SCENES) do
    if textButton(name, LEFT + 14.5 + (i - 1) * 7, PANEL_Y + 56, 6.5, 4, false) then
      askFirst(function() testScene(name) end)
    end
  end
  setTextScale(TEXT_SCALE)

  -- History: undo, redo and a scrubber over every record of it.
  heading("History", PANEL_Y + 63)
  if textButton("Undo", LEFT, PANEL_Y + 64, 6, 4, false) then undo() end
  if textButton("Redo", LEFT + 6.5, PANEL_Y + 64, 6, 4, false) then redo() end
  local steps = historySteps()
  if steps > 0 then
    local step = historyStep()
    local picked = slider("History", LEFT + 14, PANEL_Y + 64, 21, 4, 0, steps, step)
    picked = math.floor(picked + 0.5)
    if picked ~= step then historyMoveTo(picked) end
  end

  -- How the program keeps up: frames a second and the sculpture's triangles.
  if frame_rate and triangles then
    label(string.format("%d fps  %.1fk triangles", math.floor(frame_rate + 0.5), triangles / 1000),
          LEFT + 14, PANEL_Y + 71)
  end

  -- The sculpture for other tools, as a glTF file beside the slot's file.
  if textButton("Export .glb", LEFT, PANEL_Y + 69.5, 12, 4, false) then
    if exportSculpture(exportPath(slot)) then
      status = "Exported slot " .. slot
    else
      status = "Export failed!"
    end
  end
end

function renderEye(eye)
end
