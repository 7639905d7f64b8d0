#include "results/live_server.h"

#include <map>

namespace veltro {

namespace {

// Mobile first, everything inline: a phone on the track's Wi-Fi has no internet. Names are set as
// text, never as markup.
const char* const kHead = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<style>
body{font-family:sans-serif;margin:0;background:#101418;color:#eee}
header{padding:12px 16px;background:#1d2630}nav{float:right;font-size:.85em}nav a{color:#9cf;margin-left:10px}
h1{font-size:1.2em;margin:0}h2{font-size:1.05em;padding:0 16px;margin:18px 0 6px;color:#9cf}
.sub{color:#9cf;margin-top:4px}
#clock{font:bold 3em monospace;text-align:center;padding:12px}
#state{text-align:center;color:#aaa}
table{width:100%;border-collapse:collapse}td{padding:8px 6px;border-bottom:1px solid #2a333d}
.box{width:2em;text-align:center;font-weight:bold;border-radius:4px}
.b1{background:#d22;color:#fff}.b2{background:#26c;color:#fff}.b3{background:#eee;color:#000}
.b4{background:#000;color:#fff;box-shadow:inset 0 0 0 1px #888}.b5{background:#f80;color:#000}
.b6{background:repeating-linear-gradient(0deg,#000 0 4px,#fff 4px 8px);color:#f80}
.time{text-align:right;font-family:monospace}.rank{width:2em;text-align:center}
.note{padding:8px 16px;color:#aaa}
)";

// What every page shares: the heat's rows, the running clock, the stream of changes.
const char* const kScript = R"(<script>
"use strict";
const $=id=>document.getElementById(id);
const kinds=["initiated","started","capture","capture_end","finished","aborted","reviewing","result","official","card","event"];
function cell(row,text,cls){const td=row.insertCell();td.textContent=text;if(cls)td.className=cls;return td;}
function heading(h){return [h.heat?"Heat "+h.heat:"",h.heat_name].filter(Boolean).join(" \u2013 ");}
function resultRows(table,result){
  table.replaceChildren();
  if(result)result.results.forEach(row=>{
    const r=table.insertRow();r.dataset.box=row.box;
    cell(r,row.rank??"","rank");cell(r,row.box,"box b"+row.box);cell(r,row.dog);
    cell(r,(row.no_time&&row.no_time!=="none"?row.no_time:row.finish)+(row.dead_heat?" DH":""),"time");cell(r,row.distance,"time");});
}
function dogRows(table,dogs){
  table.replaceChildren();
  dogs.forEach((name,i)=>{if(!name)return;const r=table.insertRow();cell(r,i+1,"box b"+(i+1));cell(r,name);});
}
let heat=null,at=0;
function clockText(ms){const cs=Math.floor(Math.max(0,ms)/10);return Math.floor(cs/100)+","+String(cs%100).padStart(2,"0");}
function tick(){
  if(heat&&heat.running_ms!==null)$("clock").textContent=clockText(heat.running_ms+performance.now()-at);
  requestAnimationFrame(tick);
}
function follow(onHeat,onChange){
  const take=h=>{heat=h;at=performance.now();onHeat(h);document.body.dataset.updated=Date.now();
    if(h.running_ms===null&&$("clock")){const first=h.result&&h.result.results.find(r=>r.rank===1);
      if(first)$("clock").textContent=first.finish;else if(!h.result)$("clock").textContent="0,00";}};
  fetch("/api/heat").then(r=>r.json()).then(take);
  const stream=new EventSource("/api/stream");
  for(const kind of kinds)stream.addEventListener(kind,e=>{take(JSON.parse(e.data));if(onChange)onChange(kind);});
  requestAnimationFrame(tick);
}
// Fetches `url` after a change, one request at a time however fast the changes come.
function refresher(url,show){
  let busy=false,again=false;
  const run=()=>{if(busy){again=true;return;}busy=true;
    fetch(url).then(r=>r.ok?r.json():Promise.reject(r.status)).then(show).catch(()=>{})
      .finally(()=>{busy=false;if(again){again=false;run();}});};
  return run;
}
)";

const char* const kHeatPage = R"(<title>Live results</title></head><body>
<header><nav><a href="/event">Event</a><a href="/board">Board</a></nav><h1 id="event">Live results</h1><div class="sub" id="heat"></div></header>
<div id="clock">0,00</div><div id="state"></div>
<table id="dogs"></table><h2 id="result_title" hidden>Result</h2><table id="result"></table>
SCRIPT
follow(h=>{
  $("event").textContent=h.event||"Live results";$("heat").textContent=heading(h);
  $("state").textContent=h.result&&h.result.official?"official result":h.state;
  if(h.result)$("dogs").replaceChildren();else dogRows($("dogs"),h.dogs);resultRows($("result"),h.result);
  $("result_title").hidden=!h.result;
});
</script></body></html>
)";

const char* const kEventPage = R"(<title>Event results</title></head><body>
<header><nav><a href="/">Heat</a></nav><h1 id="event">Event results</h1></header>
<div id="heats"><p class="note">Waiting for the results.</p></div>
SCRIPT
const load=refresher("/api/event",ev=>{
  $("event").textContent=ev.event||"Event results";
  const all=$("heats");all.replaceChildren();
  if(!ev.heats.length){const p=document.createElement("p");p.className="note";p.textContent="No heat has been run yet.";all.append(p);}
  for(const h of ev.heats){
    const title=document.createElement("h2");all.append(title);
    if(h.problem!==undefined){title.textContent=h.recording;const p=document.createElement("p");
      p.className="note";p.textContent="Cannot be read: "+h.problem;all.append(p);continue;}
    title.textContent=heading(h)||h.recording;
    const t=document.createElement("table");all.append(t);resultRows(t,h);}
});
follow(()=>{},kind=>{if(["result","official","event","card","reviewing"].includes(kind))load();});
load();
</script></body></html>
)";

const char* const kSpeakerPage = R"(<title>Speaker</title></head><body>
<header><h1 id="event">Speaker</h1><div class="sub" id="heat"></div></header>
<div id="clock">0,00</div><div id="state"></div>
<table id="dogs"></table><table id="result"></table>
<h2>Next heats</h2><div id="next"></div>
SCRIPT
let card=null;
function showNext(){
  const next=$("next");next.replaceChildren();if(!card)return;
  const now=heat&&heat.heat?parseInt(heat.heat,10):0;
  const coming=card.heats.filter(h=>h.number>now).slice(0,4);
  if(!coming.length){const p=document.createElement("p");p.className="note";p.textContent="No more heats on the card.";next.append(p);}
  for(const h of coming){
    const title=document.createElement("h2");
    title.textContent=["Heat "+h.number,h.name,h.time,h.length?h.length+" m":""].filter(Boolean).join(" \u2013 ");
    const t=document.createElement("table");dogRows(t,h.dogs);next.append(title,t);}
}
const load=refresher("/api/card"+location.search,c=>{card=c;$("event").textContent=c.event||"Speaker";showNext();});
follow(h=>{$("heat").textContent=heading(h);$("state").textContent=h.state;
  if(h.result)$("dogs").replaceChildren();else dogRows($("dogs"),h.dogs);resultRows($("result"),h.result);showNext();},
  kind=>{if(kind==="card")load();});
load();
</script></body></html>
)";

const char* const kBoardPage = R"(<title>Board</title>
<style>body{background:#000}#heat{font-size:5vh;padding:2vh 3vw;color:#9cf}#clock{font-size:22vh;padding:2vh}
td{font-size:6vh;padding:1vh 2vw}.box{width:1.6em}#state{font-size:3vh}</style></head><body>
<div id="heat"></div><div id="clock">0,00</div><div id="state"></div><table id="result"></table><table id="dogs"></table>
SCRIPT
follow(h=>{$("heat").textContent=[h.event,heading(h)].filter(Boolean).join(" \u2013 ");$("state").textContent="";
  resultRows($("result"),h.result);if(h.result)$("dogs").replaceChildren();else dogRows($("dogs"),h.dogs);});
</script></body></html>
)";

std::string assembled(const std::string& page) {
    std::string text = std::string(kHead) + "</style>" + page;
    const std::size_t script = text.find("SCRIPT\n");
    return text.replace(script, 7, kScript);
}

} // namespace

const std::string* LiveServer::page(const std::string& path) {
    static const std::map<std::string, std::string> pages = {{"/", assembled(kHeatPage)},
                                                             {"/event", assembled(kEventPage)},
                                                             {"/speaker", assembled(kSpeakerPage)},
                                                             {"/board", assembled(kBoardPage)}};
    const auto found = pages.find(path);
    return found == pages.end() ? nullptr : &found->second;
}

} // namespace veltro
