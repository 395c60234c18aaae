-- Stores a record as an XML property list, loads the file back and returns the loaded value
-- as XML text again. Needs PlistBridge.osax in ~/Library/ScriptingAdditions (see the README):
--   osascript examples/RoundTrip.applescript
set destination to POSIX file "/tmp/PlistBridge-RoundTrip.plist"
set original to {name:"Ana", |age|:42, |tags|:{"plist", "bridge"}, |checked|:true, |ratio|:2.5}

store plist original to destination
set loaded to load plist destination

-- name is the keyword field 'pnam'; age, tags, checked and ratio are user fields.
if (|age| of loaded) is not 42 or (name of loaded) is not "Ana" then error "the round trip changed the record"
return store plist loaded
